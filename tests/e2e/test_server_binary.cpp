// SPDX-License-Identifier: GPL-3.0-or-later
// The plikoserver program as a restaurant runs it: headless, with its configuration file, speaking
// the handheld protocol on port 31512, and stopped by the service manager.
#include "RestaurantSchema.h"
#include "clsDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 HandheldPort = 31512;

class ServerBinaryTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(5000);
        }
    }

    QString createRestaurant(qint32 palmare)
    {
        const QString db = dir.filePath(u"restaurant.db"_s);
        QString error;
        EXPECT_TRUE(schema::createDatabase(db, true, &error)) << error.toStdString();
        clsDatabase database;
        database.setYieldBeforeStatements(false);
        EXPECT_TRUE(database.openDB(db));
        EXPECT_TRUE(database.doQuery(u"UPDATE var_long SET value = "_s + QString::number(palmare)
                                     + u" WHERE name = 'palmare_configurato'"_s));
        database.closeDB();
        return db;
    }
    QString writeConfig(const QString &dbPath)
    {
        const QString path = dir.filePath(u"plikoserver.ini"_s);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QString(u"[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath="_s + dbPath
                        + u"\n\n[PlikoServer]\nLocale=it_IT\nPrinterBackend=spool\nPrintSpoolDir="_s
                        + dir.filePath(u"spool"_s) + u"\nIdleTimeoutSeconds=1\n"_s)
                    .toUtf8());
        return path;
    }
    void start(const QStringList &args, bool withDisplayVariables = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, dir.filePath(u"config"_s));
        env.insert(u"XDG_DATA_HOME"_s, dir.filePath(u"data"_s));
        if (withDisplayVariables) {
            env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        } else {
            for (const QString &name : {u"QT_QPA_PLATFORM"_s, u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s})
                env.remove(name);
        }
        server.setProcessEnvironment(env);
        server.setProgram(QStringLiteral(PLIKOSERVER_BINARY));
        server.setArguments(args);
        server.start();
        ASSERT_TRUE(server.waitForStarted(10000));
    }
    // Reads the server's log until a line contains the text (or the server ends).
    bool waitForLog(const QString &text, int boundMs = 15000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < boundMs) {
            log += QString::fromUtf8(server.readAllStandardError());
            if (log.contains(text))
                return true;
            if (server.state() == QProcess::NotRunning)
                return false;
            server.waitForReadyRead(100);
        }
        return false;
    }
    // One handheld exchange: connect, send, read until the server closes.
    static QByteArray exchange(const QByteArray &request, bool *connected = nullptr)
    {
        QTcpSocket socket;
        socket.connectToHost(u"127.0.0.1"_s, HandheldPort);
        const bool ok = socket.waitForConnected(5000);
        if (connected)
            *connected = ok;
        if (!ok)
            return {};
        socket.write(request);
        socket.waitForBytesWritten(5000);
        QByteArray reply;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
            reply += socket.readAll();
        reply += socket.readAll();
        return reply;
    }
    int stop(int signalNumber = SIGTERM)
    {
        ::kill(pid_t(server.processId()), signalNumber);
        EXPECT_TRUE(server.waitForFinished(15000));
        log += QString::fromUtf8(server.readAllStandardError());
        EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
        return server.exitCode();
    }

    QTemporaryDir dir;
    QProcess server;
    QString log;
};

TEST_F(ServerBinaryTest, AHandheldTestsItsConnectionAndTheServerStopsCleanlyOnSigterm)
{
    start({u"--headless"_s, u"--config"_s, writeConfig(createRestaurant(1))});
    ASSERT_TRUE(waitForLog(u"31512"_s)) << log.toStdString();

    EXPECT_EQ(exchange("PALM01|TestConnessione|\r"), QByteArray("TestOK|\r"));
    // A request it cannot read gets no reply and its connection is closed; service goes on.
    EXPECT_EQ(exchange("PALM01|TestConnessione\r"), QByteArray());
    EXPECT_EQ(exchange("PALM01|Sconosciuto|\r\r"), QByteArray());
    EXPECT_EQ(exchange("PALM02|TestConnessione|\rxyz"), QByteArray("TestOK|\r"));

    EXPECT_EQ(stop(SIGTERM), 0);
    // Operator log lines carry their time.
    EXPECT_TRUE(log.contains(QRegularExpression(u"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} .*connected"_s)))
        << log.toStdString();
    EXPECT_TRUE(log.contains(u"dati inviati"_s));
}

TEST_F(ServerBinaryTest, AMissingDatabaseIsReportedAndTheProgramEndsWithAnError)
{
    start({u"--headless"_s, u"--config"_s, writeConfig(dir.filePath(u"gone.db"_s))});
    ASSERT_TRUE(server.waitForFinished(15000));
    log += QString::fromUtf8(server.readAllStandardError());
    EXPECT_NE(server.exitCode(), 0);
    EXPECT_TRUE(log.contains(u"Database non trovato"_s)) << log.toStdString();
}

TEST_F(ServerBinaryTest, WithNoHandheldServiceConfiguredNothingListensAndSigintEndsIt)
{
    start({u"--headless"_s, u"--config"_s, writeConfig(createRestaurant(0))});
    ASSERT_TRUE(waitForLog(u"nessun servizio attivo"_s)) << log.toStdString();
    bool connected = true;
    exchange("PALM01|TestConnessione|\r", &connected);
    EXPECT_FALSE(connected);
    EXPECT_EQ(stop(SIGINT), 0);
}

TEST_F(ServerBinaryTest, TheFirstRunOnAMachineWithoutDisplayCreatesTheDemoRestaurantAndServesItHeadless)
{
    start({}, false);
    ASSERT_TRUE(waitForLog(u"31512"_s)) << log.toStdString();
    EXPECT_TRUE(log.contains(u"(headless)"_s));
    const QString config = dir.filePath(u"config/plikoserver/plikoserver.ini"_s);
    EXPECT_TRUE(QFileInfo::exists(config));
    EXPECT_TRUE(log.contains(config)) << "the operator is told where the configuration is";
    EXPECT_TRUE(QFileInfo(dir.filePath(u"data/plikoserver/spool/Cucina"_s)).isDir());
    EXPECT_EQ(exchange("PALM01|TestConnessione|\r"), QByteArray("TestOK|\r"));
    EXPECT_EQ(stop(), 0);
}

TEST_F(ServerBinaryTest, AConfigurationFileThatDoesNotExistIsNotInventedSilently)
{
    start({u"--headless"_s, u"--config"_s, dir.filePath(u"typo.ini"_s)});
    ASSERT_TRUE(server.waitForFinished(15000));
    EXPECT_NE(server.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"typo.ini"_s)));
}

} // namespace
