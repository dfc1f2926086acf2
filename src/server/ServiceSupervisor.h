// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ServerStats.h"
#include "SystemdNotifier.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

class MetricsServer;
class ServerContext;
class ServerCore;

// The server as a service: it tells systemd when it is ready, how it is doing and when it stops,
// feeds the watchdog, serves the metrics endpoint, reports its status, and reloads the
// configuration file on request (SIGHUP) without dropping a connection or an order in progress.
class ServiceSupervisor : public QObject
{
    Q_OBJECT
public:
    struct ReloadResult
    {
        bool applied = false;
        QStringList problems;     // why the new file was refused (the old one stays)
        QStringList changes;      // what changed and took effect
        QStringList needRestart;  // what changed but takes effect at the next start
    };

    ServiceSupervisor(ServerCore &core, ServerContext &context, QObject *parent = nullptr);
    ~ServiceSupervisor() override;

    // After a successful start: the metrics endpoint (when configured), READY and the watchdog.
    void started();
    // The program is ending: STOPPING.
    void stopping();

    // Reads the configuration file again into a new object; only a file without problems
    // replaces the one in use. Everything is logged.
    ReloadResult reload();

    ServerStatus status() const;

    // The event list's line of one request: the handheld's address and slot, the command and the
    // reply kind; for an order its key, table and number of lines; for an error reply its text.
    static QString eventLine(int index, const QString &peer, const QString &command, const QString &rest,
                             const QString &reply, qint32 orderKey);
    MetricsServer &metrics() { return *m_metrics; }
    SystemdNotifier &notifier() { return m_notifier; }

private:
    QString statusSummary() const;
    void onReplied(int index, const QString &peer, const QString &text);

    ServerCore &m_core;
    ServerContext &m_ctx;
    SystemdNotifier m_notifier;
    MetricsServer *m_metrics;
    QString m_metricsAddress;
    QTimer m_statusTimer;
    bool m_stopping = false;
    QHash<int, std::pair<QString, QString>> m_requests;  // slot -> command word and its arguments
};
