// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

// Tells the service manager how the server is doing (sd_notify): ready once it serves, the status
// line, reloading and stopping, and the watchdog, fed from the event loop so a loop that stalls
// stops feeding it and systemd restarts the server. Without NOTIFY_SOCKET (not run by systemd)
// every call does nothing.
class SystemdNotifier : public QObject
{
    Q_OBJECT
public:
    explicit SystemdNotifier(QObject *parent = nullptr);

    // Whether a service manager listens (NOTIFY_SOCKET is set).
    static bool underServiceManager();

    void ready(const QString &status);
    void status(const QString &text);
    void reloading();
    void stopping();

    // Starts feeding the watchdog at half the interval systemd asked for (WATCHDOG_USEC); false
    // when no watchdog is asked of this process.
    bool startWatchdog();
    std::chrono::microseconds watchdogInterval() const { return m_watchdog; }

    // One state message as systemd reads it ("READY=1\nSTATUS=..."); false when it could not be sent.
    static bool notify(const QByteArray &state);

private:
    QTimer m_feed;
    std::chrono::microseconds m_watchdog{0};
};
