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
        for (const pid_t pid : restartedServers())
            signalProcess(pid, SIGKILL);
        ServerBinaryTest::TearDown();
    }
    // The server's private work folder under the test's temporary folder.
    static QString workFolder() { return u"tmp/plikoserver-"_s + QString::number(::getuid()) + u"/QM9Temp"_s; }
    QString crashFolder() const { return dir.filePath(workFolder() + u"/QM10Errors"_s); }

    // Servers the helper started for this test's configuration (they are not our children).
    QList<pid_t> restartedServers() const
    {
        return processesWhere([config = QFile::encodeName(dir.filePath(u"plikoserver.ini"_s))](
                                  const QList<QByteArray> &words, const QByteArray &stat) {
            return !stat.contains(") Z ") && words.contains(config) && words.contains("/noerrors");
        });
    }
    QStringList archives() const { return QDir(crashFolder()).entryList({u"qm10error#*.zip"_s}, QDir::Files); }
};

TEST_F(CrashRestart, ACrashInTheMiddleOfServiceRestartsTheServerWithEveryConfirmedOrderWhole)
{
    serve(writeConfig(dbPath));

    OrderStream stream(3, 6);
    ASSERT_TRUE(waitFor([&] { return stream.confirmed().size() >= 5; }, 10000));
    ASSERT_TRUE(signalProcess(server.processId(), SIGSEGV));
    EXPECT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitStatus(), QProcess::CrashExit);
    stream.stop();

    EXPECT_TRUE(answers(u"127.0.0.1"_s, 5000));
    const QList<pid_t> restarted = restartedServers();
    ASSERT_EQ(restarted.size(), 1);

    // The restarted server packed what the crashed one left: its signal, backtrace and trace.
    ASSERT_TRUE(waitFor([&] { return !archives().isEmpty(); })) << QDir(crashFolder()).entryList().join(u' ').toStdString();
    const QStringList entries = diagnostics::zipEntries(QDir(crashFolder()).filePath(archives().first()));
    EXPECT_EQ(entries.size(), 2) << entries.join(u' ').toStdString();
    EXPECT_TRUE(std::any_of(entries.cbegin(), entries.cend(), [](const QString &e) { return e.endsWith(u".sig"_s); }));

    signalProcess(restarted.first(), SIGTERM);
    EXPECT_TRUE(waitFor([&] { return restartedServers().isEmpty(); }));

    stream.expectEveryConfirmedOrderWhole(dbPath);
}

TEST_F(CrashRestart, AServerThatCrashesAtEveryStartStopsBeingRestartedAndSaysWhy)
{
    extraConfig = u"RestartLimit=1\n"_s;
    serve(writeConfig(dbPath));

    ASSERT_TRUE(signalProcess(server.processId(), SIGSEGV));
    ASSERT_TRUE(server.waitForFinished(10000));
    ASSERT_TRUE(answers(u"127.0.0.1"_s, 5000));
    const QList<pid_t> restarted = restartedServers();
    ASSERT_EQ(restarted.size(), 1);

    ASSERT_TRUE(signalProcess(restarted.first(), SIGSEGV));
    const QString note = dir.filePath(workFolder() + u"/pliko-restart.history.stop"_s);
    // The note is read until it says why: the helper may still be writing it when it appears.
    EXPECT_TRUE(waitFor([&] {
        QFile why(note);
        return why.open(QIODevice::ReadOnly) && why.readAll().contains("non viene riavviato");
    }));
    EXPECT_TRUE(waitFor([&] { return restartedServers().isEmpty(); }));
    EXPECT_FALSE(connects());
    // Both crashes left their report.
    EXPECT_EQ(QDir(crashFolder()).entryList({u"tmp-*.sig"_s, u"qm10error#*.zip"_s}, QDir::Files).size(), 2);
}

} // namespace
