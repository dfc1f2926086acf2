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
#include <QHash>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <csignal>
#include <functional>
#include <mutex>
#include <thread>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

inline constexpr quint16 HandheldPort = 31512;

class OrderStream;

class ServerBinaryTest : public ::testing::Test
{
    friend class OrderStream;

protected:
    void TearDown() override
    {
        for (QProcess *p : {&server, &second})
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
    }

    // The demo restaurant (a file in the test's folder, or the database at path), its handhelds
    // configured as palmare_configurato (0 none, 1 TCP, 2 radio).
    QString createRestaurant(qint32 palmare, const QString &path = {})
    {
        dbPath = path.isEmpty() ? dir.filePath(u"restaurant.db"_s) : path;
        QString error;
        EXPECT_TRUE(schema::createDatabase(dbPath, true, &error)) << error.toStdString();
        EXPECT_EQ(
            query(u"UPDATE var_long SET value = %1 WHERE name = 'palmare_configurato'"_s.arg(palmare), true), u"ok"_s);
        return dbPath;
    }
    QString writeConfig(const QString &dbPath)
    {
        const QString path = dir.filePath(u"plikoserver.ini"_s);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QString(u"[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath="_s + dbPath + u"\n"_s
                        + backOfficeConfig + u"\n[PlikoServer]\n"_s + (locale.isEmpty() ? QString() : u"Locale="_s + locale + u'\n')
                        + u"PrinterBackend=spool\nPrintSpoolDir="_s
                        + dir.filePath(u"spool"_s) + u"\nIdleTimeoutSeconds="_s + idleSeconds + u'\n' + extraConfig)
                    .toUtf8());
        return path;
    }
    // Spool printers of the zones, "zone=Printer" apart by blanks: in the configuration, their folders made.
    void zones(const QString &spec)
    {
        for (const QString &z : spec.split(u' ')) {
            backOfficeConfig += u"zona_ristorante_"_s + z + u"|9\n"_s;
            QDir().mkpath(dir.filePath(u"spool/"_s + z.section(u'=', 1)));
        }
    }
    // A configuration of its own per server (for two servers side by side): the same restaurant, another
    // address, no control socket.
    QString configFor(const QString &name, const QString &address, const QString &more = {})
    {
        extraConfig = u"ListenAddress="_s + address + u"\nControlSocket=off\n"_s + more;
        const QString path = dir.filePath(name + u".ini"_s);
        QFile::remove(path);
        EXPECT_TRUE(QFile::rename(writeConfig(dbPath), path));
        return path;
    }
    // The server started headless on the configuration, once its log says it is ready.
    void serve(const QString &config, const QString &ready = u"31512"_s)
    {
        startProcess(server, {u"--headless"_s, u"--config"_s, config});
        ASSERT_TRUE(waitForLog(ready)) << log.toStdString();
    }
    // A process's standard output and error into name.log of the test's folder: nobody has to read a
    // pipe while handhelds work, and a full one would stop the server at its next log line.
    void logToFile(QProcess &process, const QString &name)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(dir.filePath(name + u".log"_s));
    }
    QByteArray fileLog(const QString &name) const
    {
        QFile f(dir.filePath(name + u".log"_s));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Another plikoserver next to the first (its own configuration, e.g. another ListenAddress).
    void startProcess(QProcess &process, const QStringList &args, bool withDisplayVariables = true)
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
        process.setProcessEnvironment(env);
        process.setProgram(QStringLiteral(PLIKOSERVER_BINARY));
        process.setArguments(args);
        process.start();
        ASSERT_TRUE(process.waitForStarted(10000));
    }
    // Reads the server's log until a line contains the text (or the server ends).
    bool waitForLog(const QString &text, int boundMs = 15000)
    {
        waitFor([&] {
            server.waitForReadyRead(100);
            log += QString::fromUtf8(server.readAllStandardError());
            return log.contains(text) || server.state() == QProcess::NotRunning;
        }, boundMs);
        return log.contains(text);
    }
    // One handheld exchange (or one on another port): connect, send, read until the server closes.
    static QByteArray exchange(const QByteArray &request, bool *connected = nullptr,
                               const QString &host = u"127.0.0.1"_s, quint16 port = HandheldPort)
    {
        QTcpSocket socket;
        socket.connectToHost(host, port);
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
    // Whether a server answers a connection test on the address within the bound.
    static bool answers(const QString &host = u"127.0.0.1"_s, int boundMs = 15000)
    {
        return waitFor([&] { return exchange("PALM09|TestConnessione|\r", nullptr, host) == "TestOK|\r"; }, boundMs);
    }
    static bool connects(const QString &host = u"127.0.0.1"_s)
    {
        bool connected = false;
        exchange("PALM09|TestConnessione|\r", &connected, host);
        return connected;
    }
    // The ids of the running processes whose /proc entry passes the test (its cmdline words and stat line).
    static QList<pid_t> processesWhere(const std::function<bool(const QList<QByteArray> &, const QByteArray &)> &test)
    {
        QList<pid_t> pids;
        for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
            QFile cmdline(u"/proc/"_s + entry + u"/cmdline"_s);
            QFile stat(u"/proc/"_s + entry + u"/stat"_s);
            if (entry.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) && stat.open(QIODevice::ReadOnly)
                && test(cmdline.readAll().split('\0'), stat.readAll()))
                pids << pid_t(entry.toInt());
        }
        return pids;
    }
    // "TestConnessione" over and over while `fault` runs on another thread: each (at least minimumAsked)
    // must get "TestOK|" within 1.5 s.
    static void expectAnsweredDuring(const std::function<void()> &fault, int minimumAsked = 1)
    {
        std::atomic<bool> done{false};
        std::thread faulty([&] {
            fault();
            done = true;
        });
        QStringList failures;
        int asked = 0;
        for (; !done; ++asked) {
            QElapsedTimer took;
            took.start();
            const QByteArray reply = exchange("PALM09|TestConnessione|\r");
            if (reply != "TestOK|\r" || took.elapsed() > 1500)
                failures << u"\"%1\" after %2 ms"_s.arg(QString::fromLatin1(reply).trimmed()).arg(took.elapsed());
            QThread::msleep(100);
        }
        faulty.join();
        EXPECT_TRUE(failures.isEmpty()) << failures.join(u"; "_s).toStdString() << " of " << asked;
        EXPECT_GE(asked, minimumAsked);
    }
    // Signals a process the test started. A process that has already ended has no id (0), and a
    // signal to 0 would reach the whole process group: the test runner included.
    static bool signalProcess(qint64 pid, int signalNumber)
    {
        return pid > 0 && ::kill(pid_t(pid), signalNumber) == 0;
    }
    int stop(int signalNumber = SIGTERM)
    {
        signalProcess(server.processId(), signalNumber);
        EXPECT_TRUE(server.waitForFinished(15000));
        log += QString::fromUtf8(server.readAllStandardError());
        EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
        return server.exitCode();
    }

    // The text of every .txt job printed on a spool printer so far, in job order.
    QStringList jobs(const QString &printer) const
    {
        const QDir d(dir.filePath(u"spool/"_s + printer));
        QStringList all;
        for (const QString &f : d.entryList({u"*.txt"_s}, QDir::Files, QDir::Name)) {
            QFile file(d.filePath(f));
            if (file.open(QIODevice::ReadOnly))
                all << QString::fromUtf8(file.readAll());
        }
        return all;
    }
    QString printed(const QString &printer) const { return jobs(printer).join(u"\n----\n"_s); }
    static bool waitFor(const std::function<bool()> &done, int boundMs = 15000)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < boundMs)
            QThread::msleep(50);
        return done();
    }
    bool waitForPrint(const QString &printer, const QString &text)
    {
        return waitFor([&] { return printed(printer).contains(text); });
    }
    // pliko-ctl against the server's control socket (socketPath); its exit status, out receives what
    // it printed.
    int ctl(const QStringList &args, QString *out = nullptr)
    {
        QProcess p;
        p.start(QStringLiteral(PLIKOCTL_BINARY), QStringList{u"--socket"_s, socketPath} + args);
        EXPECT_TRUE(p.waitForFinished(60000));
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitCode();
    }
    QString socketPath;
    // The first value the query returns from the restaurant's database; with write, "ok" or the error.
    QString query(const QString &sql, bool write = false) const
    {
        clsDatabase db;
        db.setYieldBeforeStatements(false);
        if (!db.openDB(dbPath))
            return u"(no database)"_s;
        if (write)
            return db.doQuery(sql) ? u"ok"_s : db.lastErrorText();
        auto rs = db.openSnapshot(sql);
        return rs && !rs->isEOF() ? tipi::toText(rs->value(0)) : QString();
    }

    QTemporaryDir dir;
    QString dbPath;
    QProcess server;
    QProcess second; // another server beside the first
    QString log;
    QString locale = u"it_IT"_s; // empty: no Locale line
    QString idleSeconds = u"1"_s; // before a silent handheld's connection is closed
    QString extraConfig;      // further [PlikoServer] lines
    QString backOfficeConfig; // further back-office lines (printers of the zones)
    QHash<QString, QString> extraEnv; // further environment of the server
};

// Handhelds sending orders one after the other, until the server stops answering or stop() is
// called: by default orders of linesPerOrder dishes, or the text order gives for handheld h and its
// opening moment; the handhelds take the hosts in turn. replies() holds what each order got back.
class OrderStream
{
public:
    using Order = std::function<QByteArray(int h, qint64 inizio)>;
    OrderStream(int handhelds, int linesPerOrder, const QStringList &hosts = {u"127.0.0.1"_s}, Order order = {})
        : lines(linesPerOrder)
    {
        for (int h = 0; h < handhelds; ++h) {
            waiters.emplace_back([this, h, linesPerOrder, order, host = hosts.at(h % hosts.size())] {
                for (int n = 0; !stopping && n < 10000; ++n) {
                    const qint64 inizio = 3919435200LL + h * 100000 + n;
                    QByteArray text = "PALM0" + QByteArray::number(h) + "|Comanda|" + QByteArray::number(inizio)
                                      + "|" + QByteArray::number(20 + h) + "|2|" + QByteArray::number(h + 1) + "|0|0;";
                    for (int l = 0; l < linesPerOrder; ++l)
                        text += "M|" + QByteArray::number(111 + l) + "|1|9,00|1|x|0|0;";
                    bool connected = false;
                    const QByteArray reply = ServerBinaryTest::exchange((order ? order(h, inizio) : text) + "\r",
                                                                        &connected, host);
                    if (!connected)
                        break;
                    {
                        std::lock_guard lock(mutex);
                        answered.insert(inizio, reply);
                    }
                    // As a waiter would, a refused order is sent again after a moment, not at once:
                    // a server refusing at once would otherwise use up the stream in a second.
                    if (reply != "ComandaOK|\r")
                        QThread::msleep(20);
                }
            });
        }
    }
    ~OrderStream() { stop(); }
    void stop()
    {
        stopping = true;
        for (auto &w : waiters)
            if (w.joinable())
                w.join();
    }
    QHash<qint64, QByteArray> replies()
    {
        std::lock_guard lock(mutex);
        return answered;
    }
    QList<qint64> confirmed() { return replies().keys("ComandaOK|\r"); }
    // Every confirmed order is in the database with all its lines, and no order is there in part.
    void expectEveryConfirmedOrderWhole(const QString &dbPath)
    {
        clsDatabase db;
        db.setYieldBeforeStatements(false);
        ASSERT_TRUE(db.openDB(dbPath));
        for (const qint64 inizio : confirmed()) {
            auto rs = db.openSnapshot(u"SELECT count(*) FROM comande c, merce_comande m WHERE c.id_comanda ="
                                      " m.id_comanda AND inizio = "_s + QString::number(inizio));
            EXPECT_EQ(rs ? tipi::toLong(rs->value(0)) : -1, lines) << "order " << inizio;
        }
        auto partial = db.openSnapshot(u"SELECT comande.id_comanda FROM comande LEFT JOIN merce_comande ON"
                                       " comande.id_comanda = merce_comande.id_comanda GROUP BY comande.id_comanda"
                                       " HAVING count(merce_comande.id_merce_comanda) <> "_s + QString::number(lines));
        ASSERT_TRUE(partial);
        EXPECT_EQ(partial->recordCount(), 0);
    }

private:
    const int lines;
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    QHash<qint64, QByteArray> answered;
    std::vector<std::thread> waiters;
};
