// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Keeps the server's own files from growing for ever: once a day, spool printer files older than
// SpoolKeepDays and crash report archives beyond the newest CrashReportKeep are removed.
class Housekeeping : public QObject
{
public:
    struct Limits
    {
        QString spoolFolder;   // the spool printers' folder (one subfolder per printer); empty: none
        int spoolKeepDays = 7; // 0: kept for ever
        QString crashFolder;
        int crashReportKeep = 50; // 0: kept for ever
    };
    // limits is asked at every run, so a reloaded configuration applies.
    explicit Housekeeping(std::function<Limits()> limits, QObject *parent = nullptr);

    // The first run comes a minute after the start (service first), then every 24 hours.
    void start();
    // One run; returns how many files went.
    static int run(const Limits &limits, const QDateTime &now);

private:
    std::function<Limits()> m_limits;
    QTimer m_timer;
};
