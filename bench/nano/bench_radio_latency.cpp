// SPDX-License-Identifier: GPL-3.0-or-later
// How long a TCP handheld waits for "TestConnessione" while the radio access point beside it is
// healthy, dead, garbling, or taking a 100 KB menu slowly; and the server's CPU time while the
// access point's port is gone. The real plikoserver (handheld service plus a radio link connected
// from pliko-ctl), the access point emulated on a pseudo-terminal.
//
//   bench_radio_latency [--seconds N] [--server PATH]     (PATH: another build's plikoserver)
#include "DuvuSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 Port = 31512;

struct Bench
{
    QTemporaryDir dir;
    QString serverPath = QStringLiteral(PLIKO_SERVER_BINARY);
    DuvuSim sim;
    QProcess server;

    QString path(const QString &name) const { return dir.filePath(name); }

    bool sql(const QStringList &args, const QByteArray &input = {})
    {
        QProcess p;
        p.start(QStringLiteral(PLIKO_SQL_BINARY), args);
        p.write(input);
        p.closeWriteChannel();
        return p.waitForFinished(600000) && p.exitCode() == 0;
    }
    int ctl(const QStringList &args)
    {
        QProcess p;
        p.start(QStringLiteral(PLIKO_CTL_BINARY), QStringList{u"--socket"_s, path(u"ctl.sock"_s)} + args);
        p.waitForFinished(600000);
        return p.exitCode();
    }

    // The demo restaurant with about 100 KB of menu, the handheld service, the radio link on COM3.
    bool start()
    {
        const QString db = path(u"server.db"_s);
        if (!sql({u"--create"_s, u"--demo"_s, db}))
            return false;
        QByteArray menu = "UPDATE var_long SET value = 1 WHERE name = 'palmare_configurato'\n"
                          "UPDATE var_str SET value = 'COM3' WHERE name = 'com_nano'\n";
        for (int i = 0; i < 1100; ++i)
            menu += "INSERT INTO magazzino (codice, descrizione, id_tipo_merce, codice_iva, listino_a, in_shop_screen, "
                    "visibile_shop_screen, cancellato) SELECT "
                + QByteArray::number(20000 + i) + ", 'Piatto del giorno numero " + QByteArray::number(i)
                + " con contorno di stagione', id_tipo_merce, codice_iva, 12, -1, -1, 0 FROM magazzino WHERE codice = "
                  "108\n";
        if (!sql({db}, menu))
            return false;
        if (!sim.openPty())
            return false;
        sim.start();
        QFile ini(path(u"plikoserver.ini"_s));
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        const QString text = u"[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath="_s + db
                             + u"\n\n[PlikoServer]\nLocale=it_IT\nPrinterBackend=spool\nPrintSpoolDir="_s
                             + path(u"spool"_s) + u"\nLogLevel=warning\nAccessPointTimeoutMs=1000\nCom3="_s
                             + sim.devicePath() + u"\nControlSocket="_s + path(u"ctl.sock"_s) + u"\n"_s;
        ini.write(text.toUtf8());
        ini.close();
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        server.setProcessEnvironment(env);
        server.start(serverPath, {u"--headless"_s, u"--config"_s, ini.fileName()});
        if (!server.waitForStarted())
            return false;
        for (int i = 0; i < 100 && exchange() < 0; ++i)
            QThread::msleep(100);
        return ctl({u"duvu"_s, u"connect"_s, u"3"_s}) == 0 && ctl({u"duvu"_s, u"reception"_s, u"on"_s}) == 0;
    }

    // One "TestConnessione" exchange in milliseconds; -1 when it failed.
    static double exchange()
    {
        QElapsedTimer t;
        t.start();
        QTcpSocket socket;
        socket.connectToHost(u"127.0.0.1"_s, Port);
        if (!socket.waitForConnected(30000))
            return -1;
        socket.write("PALM09|TestConnessione|\r");
        QByteArray reply;
        while (!reply.contains('\r') && socket.waitForReadyRead(30000))
            reply += socket.readAll();
        return reply.startsWith("TestOK|") ? double(t.nsecsElapsed()) / 1e6 : -1;
    }

    // Exchanges one after another for the given time, or until stop says so.
    static void measure(const char *name, int seconds, const std::function<bool()> &stop = {})
    {
        std::vector<double> ms;
        int failed = 0;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < seconds * 1000 && !(stop && stop())) {
            const double e = exchange();
            if (e < 0)
                ++failed;
            else
                ms.push_back(e);
            QThread::msleep(20);
        }
        std::sort(ms.begin(), ms.end());
        const auto pct = [&](double p) { return ms.empty() ? 0.0 : ms[size_t(p * double(ms.size() - 1))]; };
        std::printf("%-34s n=%-5zu p50 %8.2f ms   p99 %8.2f ms   max %8.2f ms   failed %d\n", name, ms.size(), pct(0.5),
                    pct(0.99), ms.empty() ? 0.0 : ms.back(), failed);
        std::fflush(stdout);
    }

    // The server's CPU seconds so far (user + system), from /proc.
    double cpuSeconds() const
    {
        QFile stat(u"/proc/"_s + QString::number(server.processId()) + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        const QList<QByteArray> f = stat.readAll().split(')').value(1).trimmed().split(' ');
        return (f.value(11).toDouble() + f.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption secondsOpt(u"seconds"_s, u"Seconds per case (default 10)."_s, u"N"_s, u"10"_s);
    const QCommandLineOption serverOpt(u"server"_s, u"The plikoserver to measure."_s, u"PATH"_s);
    parser.addOptions({secondsOpt, serverOpt});
    parser.addHelpOption();
    parser.process(app);
    const int seconds = qMax(1, parser.value(secondsOpt).toInt());

    Bench b;
    if (parser.isSet(serverOpt))
        b.serverPath = parser.value(serverOpt);
    if (!b.start()) {
        std::fprintf(stderr, "bench_radio_latency: the server or its radio link did not start (is port %u free?)\n",
                     Port);
        b.server.kill();
        b.server.waitForFinished(5000);
        return 1;
    }
    Bench::measure("access point healthy", seconds);
    b.sim.setMode(DuvuSim::Mode::Dead);
    Bench::measure("access point dead", seconds);
    b.sim.setMode(DuvuSim::Mode::Garble);
    Bench::measure("access point garbling", seconds);

    // The menu goes to a device that takes 100 ms over every reply.
    b.sim.setMode(DuvuSim::Mode::Normal);
    QThread::msleep(6000); // the back-off lets the next poll find the device again
    b.ctl({u"duvu"_s, u"reception"_s, u"off"_s});
    b.sim.setReplyDelayMs(100);
    QProcess sendDb;
    sendDb.start(QStringLiteral(PLIKO_CTL_BINARY), {u"--socket"_s, b.path(u"ctl.sock"_s), u"duvu"_s, u"send-db"_s});
    sendDb.waitForStarted();
    QThread::msleep(500);
    Bench::measure("during a 100 KB transfer (slow)", 600,
                   [&] { return sendDb.state() == QProcess::NotRunning || sendDb.waitForFinished(0); });
    sendDb.waitForFinished(600000);
    std::printf("transfer: %s, %d bytes received by the device\n",
                sendDb.exitCode() == 0 ? "finished" : "failed", int(b.sim.database().size()));
    b.sim.setReplyDelayMs(0);

    // The port disappears under the server: its CPU time over the next seconds.
    b.ctl({u"duvu"_s, u"reception"_s, u"on"_s});
    b.sim.unplug();
    QThread::msleep(1000);
    const double before = b.cpuSeconds();
    QThread::msleep(unsigned(seconds) * 1000);
    std::printf("port gone: server CPU %.1f %% over %d s\n", (b.cpuSeconds() - before) * 100.0 / seconds, seconds);
    b.server.terminate();
    b.server.waitForFinished(15000);
    return 0;
}
