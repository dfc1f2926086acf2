// SPDX-License-Identifier: GPL-3.0-or-later
// The private PostgreSQL server the database tests run against: it starts, serves, survives a
// restart in the middle of a service, and never outlives the test that made it.
#include "PgCluster.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <libpq-fe.h>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The first value of a query, or "error: ..." when the connection or the query fails.
QString queryOne(PGconn *conn, const char *sql)
{
    PGresult *res = PQexec(conn, sql);
    const ExecStatusType status = PQresultStatus(res);
    QString value;
    if (status == PGRES_TUPLES_OK && PQntuples(res) > 0)
        value = QString::fromUtf8(PQgetvalue(res, 0, 0));
    else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        value = u"error: "_s + QString::fromUtf8(PQerrorMessage(conn));
    PQclear(res);
    return value;
}

QString queryOne(const QString &uri, const char *sql)
{
    PGconn *conn = PQconnectdb(uri.toUtf8().constData());
    const QString value = PQstatus(conn) == CONNECTION_OK ? queryOne(conn, sql)
                                                          : u"error: "_s + QString::fromUtf8(PQerrorMessage(conn));
    PQfinish(conn);
    return value;
}

// Gone, or a zombie nobody reaps (a container's first process may not).
bool processGone(pid_t pid)
{
    if (::kill(pid, 0) != 0)
        return true;
    QFile status(u"/proc/"_s + QString::number(pid) + u"/status"_s);
    return status.open(QIODevice::ReadOnly) && status.readAll().contains("State:\tZ");
}

bool waitUntil(const std::function<bool()> &done, int boundMs = 60000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < boundMs)
        QThread::msleep(100);
    return done();
}

#define START_OR_SKIP(pg)                                                                                            \
    if (!(pg).unavailableReason().isEmpty())                                                                         \
        GTEST_SKIP() << (pg).unavailableReason().toStdString();                                                      \
    ASSERT_TRUE((pg).start()) << (pg).error().toStdString()

} // namespace

TEST(PgCluster, AServerStoppedMidServiceComesBackWithEveryCommittedOrder)
{
    PgCluster pg;
    START_OR_SKIP(pg);
    ASSERT_TRUE(pg.createDatabase(u"pliko"_s)) << pg.error().toStdString();
    const QString uri = pg.uri(u"pliko"_s);
    ASSERT_EQ(queryOne(uri, "CREATE TABLE comande (id integer)"), QString());

    struct Case
    {
        const char *what;
        PgCluster::StopMode mode;
    };
    const Case cases[] = {{"a clean stop", PgCluster::StopMode::Fast},
                          {"a crash", PgCluster::StopMode::Immediate},
                          {"a second clean stop", PgCluster::StopMode::Fast}};
    int recorded = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PGconn *open = PQconnectdb(uri.toUtf8().constData());
        ASSERT_EQ(PQstatus(open), CONNECTION_OK) << PQerrorMessage(open);
        EXPECT_EQ(queryOne(open, "SELECT 1"), u"1"_s);
        EXPECT_EQ(queryOne(open, "INSERT INTO comande VALUES (1)"), QString());
        ++recorded;
        const pid_t server = pg.serverPid();
        EXPECT_GT(server, 0);

        ASSERT_TRUE(pg.stop(c.mode)) << pg.error().toStdString();
        EXPECT_FALSE(pg.isRunning());
        EXPECT_TRUE(processGone(server));
        // The connection of the service in progress is broken, not silently answered.
        EXPECT_TRUE(queryOne(open, "SELECT 1").startsWith(u"error: "_s));
        EXPECT_TRUE(queryOne(uri, "SELECT 1").startsWith(u"error: "_s));
        PQfinish(open);

        ASSERT_TRUE(pg.start()) << pg.error().toStdString();
        EXPECT_EQ(queryOne(uri, "SELECT 1"), u"1"_s);
        EXPECT_EQ(queryOne(uri, "SELECT count(*) FROM comande"), QString::number(recorded));
    }
}

TEST(PgCluster, TwoClustersOfOneProcessServeSideBySide)
{
    PgCluster sala;
    PgCluster asporto;
    START_OR_SKIP(sala);
    START_OR_SKIP(asporto);
    EXPECT_NE(sala.socketDir(), asporto.socketDir());
    // A name that needs quoting in SQL and encoding in the address.
    const QString name = u"pliko \"sala\" 1"_s;
    ASSERT_TRUE(sala.createDatabase(name)) << sala.error().toStdString();
    EXPECT_EQ(queryOne(sala.uri(name), "SELECT current_database()"), name);
    EXPECT_TRUE(queryOne(asporto.uri(name), "SELECT 1").startsWith(u"error: "_s));
    EXPECT_FALSE(sala.createDatabase(name));
    EXPECT_NE(sala.error(), QString());

    // Stopping one leaves the other serving.
    ASSERT_TRUE(sala.stop());
    EXPECT_EQ(queryOne(asporto.uri(u"postgres"_s), "SELECT 1"), u"1"_s);
}

// A test process killed outright (a runner's timeout, a crash) runs no destructor: the watchdog
// still stops its server and removes its folder.
TEST(PgCluster, ATestProcessKilledOutrightLeavesNoServerBehind)
{
    if (qEnvironmentVariableIsSet("PLIKO_PG_HOLD")) {
        PgCluster pg;
        START_OR_SKIP(pg);
        std::printf("HOLDING %d %s\n", int(pg.serverPid()), qPrintable(pg.socketDir()));
        std::fflush(stdout);
        for (;;)
            QThread::sleep(3600);
    }
    {
        PgCluster probe;
        if (!probe.unavailableReason().isEmpty())
            GTEST_SKIP() << probe.unavailableReason().toStdString();
    }
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PLIKO_PG_HOLD"_s, u"1"_s);
    holder.setProcessEnvironment(env);
    holder.start(QCoreApplication::applicationFilePath(),
                 {u"--gtest_filter=PgCluster.ATestProcessKilledOutrightLeavesNoServerBehind"_s});
    QByteArray out;
    ASSERT_TRUE(waitUntil([&] {
        holder.waitForReadyRead(100);
        out += holder.readAllStandardOutput();
        return out.contains("HOLDING ") && out.indexOf('\n', out.indexOf("HOLDING ")) > 0;
    })) << out.constData() << holder.readAllStandardError().constData();
    const QList<QByteArray> fields = out.mid(out.indexOf("HOLDING ")).split('\n').first().split(' ');
    ASSERT_EQ(fields.size(), 3);
    const pid_t server = pid_t(fields[1].toLong());
    const QString folder = QString::fromLocal8Bit(fields[2]);
    ASSERT_GT(server, 0);
    ASSERT_FALSE(processGone(server));

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_TRUE(waitUntil([&] { return processGone(server); })) << "server " << server << " still runs";
    EXPECT_TRUE(waitUntil([&] { return !QDir(folder).exists(); })) << folder.toStdString() << " still there";
}
