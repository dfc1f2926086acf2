// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <sys/types.h>

// A private PostgreSQL server for a test (scripts/pg-cluster.sh): a cluster in a temporary folder,
// reached only through a Unix socket in that folder, stopped and removed with the object. A watchdog
// in its own session stops and removes it too when the test process dies without running destructors.
//
//     PgCluster pg;
//     if (!pg.unavailableReason().isEmpty())
//         GTEST_SKIP() << pg.unavailableReason().toStdString();
//     ASSERT_TRUE(pg.start()) << pg.error().toStdString();
//     ASSERT_TRUE(pg.createDatabase(u"pliko"_s)) << pg.error().toStdString();
//     const QString uri = pg.uri(u"pliko"_s);
class PgCluster
{
public:
    enum class StopMode { Fast, Immediate };

    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster &) = delete;
    PgCluster &operator=(const PgCluster &) = delete;

    // Why no cluster can run here (no initdb or pg_ctl, no unprivileged user to run them as root);
    // empty when one can.
    QString unavailableReason() const { return m_unavailable; }
    // The first call makes the cluster; every call starts the server and returns once it accepts
    // connections (false, with error(), when it does not within a minute).
    bool start();
    // Stops the server: Fast ends the sessions and shuts down cleanly, Immediate is a crash (the
    // next start recovers from the write-ahead log).
    bool stop(StopMode mode = StopMode::Fast);
    bool createDatabase(const QString &name);

    // The libpq address of a database of this cluster, as superuser "postgres" through the socket.
    QString uri(const QString &database) const;
    // The cluster's data folder (a benchmark edits its configuration there).
    QString dataDir() const { return m_dir.filePath(QStringLiteral("data")); }
    // The process id of the running server (0 when stopped).
    pid_t serverPid() const;
    // The last failure, with the end of the server's log when it has one.
    QString error() const { return m_error; }
    QString logTail(int lines = 20) const;

private:
    bool run(const QStringList &args, QString *output);
    bool fail(const QString &what);

    QString m_unavailable;
    QString m_error;
    QTemporaryDir m_dir;
    int m_port = 0;
    bool m_running = false;
    QProcess m_watchdog;
};
