// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plikoserver program started for a black-box test: a demo restaurant, a configuration file
// with spool printers, the process, its log, and one handheld exchange at a time.
#include "RestaurantSchema.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;


inline constexpr quint16 HandheldPort = 31512;

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
        f.write(QString(u"[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath="_s + dbPath + u"\n"_s
                        + backOfficeConfig + u"\n[PlikoServer]\nLocale=it_IT\nPrinterBackend=spool\nPrintSpoolDir="_s
                        + dir.filePath(u"spool"_s) + u"\nIdleTimeoutSeconds=1\n"_s + extraConfig)
                    .toUtf8());
        return path;
    }
    void start(const QStringList &args, bool withDisplayVariables = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, dir.filePath(u"config"_s));
        env.insert(u"XDG_DATA_HOME"_s, dir.filePath(u"data"_s));
        // A crashed server is started again by its helper, never by a service manager running the tests.
        env.remove(u"INVOCATION_ID"_s);
        env.remove(u"NOTIFY_SOCKET"_s);
        for (auto it = extraEnv.cbegin(); it != extraEnv.cend(); ++it)
            env.insert(it.key(), it.value());
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
    QString extraConfig;      // further [PlikoServer] lines
    QString backOfficeConfig; // further back-office lines (printers of the zones)
    QHash<QString, QString> extraEnv; // further environment of the server
};
