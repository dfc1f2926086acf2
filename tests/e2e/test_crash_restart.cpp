// SPDX-License-Identifier: GPL-3.0-or-later
// A server that crashes in the middle of service: it leaves its crash report, is serving again in a
// few seconds through its restart helper, and has lost no confirmed order; one that crashes at every
// start stops being restarted.
#include "CrashReport.h"
#include "ServerProcess.h"

#include <unistd.h>

namespace {

class CrashRestart : public ServerBinaryTest
{
protected:
    void SetUp() override
    {
        zones(u"cucina=Cucina bar=Bar"_s);
        QDir().mkpath(dir.filePath(u"tmp"_s));
        extraEnv.insert(u"TMPDIR"_s, dir.filePath(u"tmp"_s));
        dbPath = createRestaurant(1);
    }
    void TearDown() override
    {
        for (const qint64 pid : restartedServers())
            signalProcess(pid, SIGKILL);
        ServerBinaryTest::TearDown();
    }
    // The server's private work folder under the test's temporary folder.
    static QString workFolder() { return u"tmp/plikoserver-"_s + QString::number(::getuid()) + u"/QM9Temp"_s; }
    QString crashFolder() const { return dir.filePath(workFolder() + u"/QM10Errors"_s); }

    // Servers the helper started for this test's configuration (they are not our children).
    QList<qint64> restartedServers() const
    {
        QList<qint64> pids;
        const QString config = dir.filePath(u"plikoserver.ini"_s);
        for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
            bool number = false;
            const qint64 pid = entry.toLongLong(&number);
            QFile cmdline(u"/proc/"_s + entry + u"/cmdline"_s);
            if (!number || !cmdline.open(QIODevice::ReadOnly))
                continue;
            const QList<QByteArray> words = cmdline.readAll().split('\0');
            QFile stat(u"/proc/"_s + entry + u"/stat"_s);
            const bool zombie = stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
            if (!zombie && words.contains(QFile::encodeName(config)) && words.contains("/noerrors"))
                pids << pid;
        }
        return pids;
    }
    // Polls the handheld port until the server answers (bounded).
    bool answersAgainWithin(int boundMs)
    {
        return waitFor([] { return exchange("PALM09|TestConnessione|\r") == "TestOK|\r"; }, boundMs);
    }
    QStringList archives() const { return QDir(crashFolder()).entryList({u"qm10error#*.zip"_s}, QDir::Files); }
};

TEST_F(CrashRestart, ACrashInTheMiddleOfServiceRestartsTheServerWithEveryConfirmedOrderWhole)
{
    start({u"--headless"_s, u"--config"_s, writeConfig(dbPath)});
    ASSERT_TRUE(waitForLog(u"31512"_s)) << log.toStdString();

    OrderStream stream(3, 6);
    ASSERT_TRUE(waitFor([&] { return stream.confirmed().size() >= 5; }, 10000));
    ASSERT_TRUE(signalProcess(server.processId(), SIGSEGV));
    EXPECT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitStatus(), QProcess::CrashExit);
    stream.stop();

    EXPECT_TRUE(answersAgainWithin(5000));
    const QList<qint64> restarted = restartedServers();
    ASSERT_EQ(restarted.size(), 1);

    // The restarted server packed what the crashed one left: its signal, backtrace and trace.
    ASSERT_TRUE(waitFor([&] { return !archives().isEmpty(); })) << QDir(crashFolder()).entryList().join(u' ').toStdString();
    const QStringList entries = diagnostics::zipEntries(QDir(crashFolder()).filePath(archives().first()));
    EXPECT_EQ(entries.size(), 2) << entries.join(u' ').toStdString();
    EXPECT_TRUE(std::any_of(entries.cbegin(), entries.cend(), [](const QString &e) { return e.endsWith(u".sig"_s); }));

    signalProcess(restarted.first(), SIGTERM);
    EXPECT_TRUE(waitFor([&] { return restartedServers().isEmpty(); }));

    ASSERT_GE(stream.confirmed().size(), 5);
    stream.expectEveryConfirmedOrderWhole(dbPath);
}

TEST_F(CrashRestart, AServerThatCrashesAtEveryStartStopsBeingRestartedAndSaysWhy)
{
    extraConfig = u"RestartLimit=1\n"_s;
    start({u"--headless"_s, u"--config"_s, writeConfig(dbPath)});
    ASSERT_TRUE(waitForLog(u"31512"_s)) << log.toStdString();

    ASSERT_TRUE(signalProcess(server.processId(), SIGSEGV));
    ASSERT_TRUE(server.waitForFinished(10000));
    ASSERT_TRUE(answersAgainWithin(5000));
    const QList<qint64> restarted = restartedServers();
    ASSERT_EQ(restarted.size(), 1);

    ASSERT_TRUE(signalProcess(restarted.first(), SIGSEGV));
    const QString note = dir.filePath(workFolder() + u"/pliko-restart.history.stop"_s);
    // The note is read until it says why: the helper may still be writing it when it appears.
    EXPECT_TRUE(waitFor([&] {
        QFile why(note);
        return why.open(QIODevice::ReadOnly) && why.readAll().contains("non viene riavviato");
    }));
    EXPECT_TRUE(waitFor([&] { return restartedServers().isEmpty(); }));
    bool connected = true;
    exchange("PALM09|TestConnessione|\r", &connected);
    EXPECT_FALSE(connected);
    // Both crashes left their report.
    EXPECT_EQ(QDir(crashFolder()).entryList({u"tmp-*.sig"_s, u"qm10error#*.zip"_s}, QDir::Files).size(), 2);
}

} // namespace
