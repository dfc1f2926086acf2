// SPDX-License-Identifier: GPL-3.0-or-later
// The server as a system service: systemd's notifications, a reload of the configuration in the
// middle of service, the refusal of a broken file, and the metrics a monitoring system scrapes.
#include "ServerProcess.h"

#include <QRegularExpression>
#include <algorithm>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class ServiceTest : public ServerBinaryTest
{
protected:
    void SetUp() override
    {
        zones(u"cassa=Cassa cucina=Cucina2 bar=Bar preconto=Preconto"_s);
        QDir().mkpath(dir.filePath(u"spool/Cucina"_s));
        dbPath = createRestaurant(1);
    }
    void TearDown() override
    {
        ServerBinaryTest::TearDown();
        if (notifyFd >= 0)
            ::close(notifyFd);
    }
    // The restaurant's file: a waiter may take a while over an order (20 s before an idle close).
    QString configWithKitchen(const QString &kitchen, const QString &more = {})
    {
        backOfficeConfig.replace(QRegularExpression(u"zona_ristorante_cucina=[^|]*"_s), u"zona_ristorante_cucina="_s + kitchen);
        idleSeconds = u"20"_s;
        extraConfig = more;
        return writeConfig(dbPath);
    }
    // An order of table 12 with a risotto for the kitchen, opened at noon of the business day.
    // known: the handheld knows the earlier ticket printed (only the increase is printed).
    static QByteArray order(int risotti, bool known = false)
    {
        const QDateTime now = QDateTime::currentDateTime();
        const QDate day = now.date().addDays(now.time() < QTime(10, 0) ? -2 : -1);
        const QByteArray inizio = QByteArray::number(qint64(tipi::momentOf(QDateTime(day, QTime(12, 0)))));
        return "PALM01|Comanda|" + inizio + "|12|2|2|4,00|25,00;M|111|" + QByteArray::number(risotti)
               + "|11,00|1|Carbonara|0|" + (known ? "1" : "0") + ";\r";
    }
    // A Unix datagram socket standing in for systemd's notification socket.
    QString bindNotifySocket()
    {
        const QString path = dir.filePath(u"notify.sock"_s);
        notifyFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        const QByteArray p = path.toLocal8Bit();
        std::memcpy(addr.sun_path, p.constData(), size_t(std::min<qsizetype>(p.size(), sizeof(addr.sun_path) - 1)));
        EXPECT_EQ(::bind(notifyFd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
        return path;
    }
    // Every notification received so far.
    QString notifications()
    {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(notifyFd, buffer, sizeof(buffer), MSG_DONTWAIT)) > 0)
            received += QString::fromUtf8(buffer, n) + u"\n--\n"_s;
        return received;
    }
    void reloadWith(const QString &kitchen, const QString &more = {})
    {
        configWithKitchen(kitchen, more);
        signalProcess(server.processId(), SIGHUP);
    }

    int notifyFd = -1;
    QString received;
};

} // namespace

// The metrics endpoint counts what the real paths did (its format is the metrics' own test's); a reload
// in the middle of service moves the kitchen's next ticket to its new printer.
TEST_F(ServiceTest, TheMetricsCountTheServiceAndAReloadSendsTheNextTicketToTheNewKitchenPrinter)
{
    constexpr quint16 MetricsPort = 31599;
    const QString metricsLine = u"MetricsAddress=127.0.0.1:"_s + QString::number(MetricsPort) + u'\n';
    serve(configWithKitchen(u"Cucina"_s, metricsLine));
    EXPECT_EQ(exchange(order(1)), QByteArray("ComandaOK|\r"));
    ASSERT_TRUE(waitForPrint(u"Cucina"_s, u"Risotto ai funghi"_s));
    // The endpoint opens once start-up is complete, a moment after the handheld port; a count reaches
    // it when the database thread's piece that made it has ended.
    const char *counts[] = {"\npliko_orders_recorded_total 1\n", "\npliko_requests_total{command=\"Comanda\"} 1\n",
                            "\npliko_print_jobs_total{printer=\"Cucina\"} 1\n"};
    QByteArray scrape;
    waitFor([&] {
        scrape = exchange("GET /metrics HTTP/1.0\r\n\r\n", nullptr, u"127.0.0.1"_s, MetricsPort);
        return std::all_of(std::begin(counts), std::end(counts), [&](const char *c) { return scrape.contains(c); });
    });
    for (const char *count : counts)
        EXPECT_TRUE(scrape.contains(count)) << count << scrape.constData();

    // A waiter is half-way through sending when the manager reloads the configuration.
    QTcpSocket waiter;
    waiter.connectToHost(u"127.0.0.1"_s, HandheldPort);
    ASSERT_TRUE(waiter.waitForConnected(5000));
    const QByteArray raised = order(3, true);
    waiter.write(raised.left(30));
    waiter.waitForBytesWritten(5000);
    reloadWith(u"Cucina2"_s, metricsLine);
    ASSERT_TRUE(waitForLog(u"zona_ristorante_cucina: \"Cucina|9\" -> \"Cucina2|9\""_s)) << log.toStdString();
    waiter.write(raised.mid(30));
    QByteArray reply;
    while (waiter.state() == QAbstractSocket::ConnectedState && waiter.waitForReadyRead(5000))
        reply += waiter.readAll();
    EXPECT_EQ(reply + waiter.readAll(), QByteArray("ComandaOK|\r"));
    // The two risottos more go to the new printer; the old one saw only the first ticket.
    EXPECT_TRUE(waitForPrint(u"Cucina2"_s, u"2 Risotto ai funghi"_s))
        << printed(u"Cucina2"_s).toStdString();
    EXPECT_EQ(printed(u"Cucina"_s).count(u"Risotto"_s), 1);

    // A broken file is refused and the configuration in use stays.
    reloadWith(u"Cucina"_s, metricsLine + u"LogLevel=verbose\n"_s);
    ASSERT_TRUE(waitForLog(u"resta in uso la configurazione precedente"_s)) << log.toStdString();
    EXPECT_TRUE(log.contains(u"LogLevel: \"verbose\" sconosciuto"_s)) << log.toStdString();
    EXPECT_EQ(exchange(order(4, true)), QByteArray("ComandaOK|\r"));
    EXPECT_TRUE(waitFor([&] { return printed(u"Cucina2"_s).count(u"Risotto"_s) == 2; }))
        << printed(u"Cucina2"_s).toStdString();
    EXPECT_EQ(stop(SIGTERM), 0);
}

// A mistake in the file, a missing database, a file that does not exist (never invented silently):
// the start is refused, says why, and nothing listens.
TEST_F(ServiceTest, AConfigurationWithAMistakeOrAMissingFileRefusesTheStartAndSaysWhere)
{
    const struct
    {
        QString database, more, config, told;
        int code;
    } refused[] = {
        {dbPath, u"PrinterBackend=lpr\n"_s, {}, u"plikoserver\\.ini:\\d+: PrinterBackend: \"lpr\" sconosciuto"_s, 2},
        {dir.filePath(u"gone.db"_s), {}, {}, u"Database non trovato"_s, 1},
        {dbPath, {}, dir.filePath(u"typo.ini"_s), u"file di configurazione non trovato"_s, 2},
    };
    for (const auto &r : refused) {
        SCOPED_TRACE(r.told.toStdString());
        dbPath = r.database;
        server.close();
        log.clear();
        const QString config = r.config.isEmpty() ? configWithKitchen(u"Cucina"_s, r.more) : r.config;
        startProcess(server, {u"--headless"_s, u"--config"_s, config});
        ASSERT_TRUE(server.waitForFinished(15000));
        log += QString::fromUtf8(server.readAllStandardError());
        EXPECT_EQ(server.exitCode(), r.code);
        EXPECT_TRUE(log.contains(QRegularExpression(r.told))) << log.toStdString();
        EXPECT_FALSE(connects());
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"typo.ini"_s)));
}

// Started as systemd starts it (its notify socket and watchdog in its environment), with a kitchen
// printer that is missing: systemd hears ready when handhelds are served and stopping at the end, and
// the event list says what each request got and why a print or a connection failed.
TEST_F(ServiceTest, UnderSystemdItSaysReadyAndStoppingAndItsEventListWhyAPrintOrAConnectionFailed)
{
    extraEnv[u"NOTIFY_SOCKET"_s] = bindNotifySocket();
    extraEnv[u"WATCHDOG_USEC"_s] = u"400000"_s;
    startProcess(server, {u"--headless"_s, u"--config"_s, configWithKitchen(u"Forno"_s)});
    ASSERT_TRUE(waitFor([&] { return notifications().contains(u"READY=1"_s); })) << received.toStdString();
    // Ready means ready: a handheld is answered at once; the missing printer does not stop the service.
    EXPECT_EQ(exchange(order(1)), QByteArray("ComandaOK|\r"));
    ASSERT_TRUE(waitForLog(u"Stampa non riuscita su Forno: manca la cartella della stampante"_s)) << log.toStdString();
    const QRegularExpression orderLine(
        u"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} .*127\\.0\\.0\\.1 slot \\d+: Comanda -> ComandaOK "
        "\\(comanda \\d+, tavolo 12, 1 righe\\)"_s);
    EXPECT_TRUE(log.contains(orderLine)) << log.toStdString();
    EXPECT_TRUE(log.contains(u"stampante \"Forno\" non disponibile"_s)) << "told at start";
    // The event loop feeds the watchdog systemd asked for.
    EXPECT_TRUE(waitFor([&] { return notifications().count(u"WATCHDOG=1"_s) >= 2; })) << received.toStdString();

    // Only the restaurant's network may connect now.
    reloadWith(u"Forno"_s, u"AllowedClients=10.0.0.0/8\n"_s);
    ASSERT_TRUE(waitForLog(u"AllowedClients: (assente) -> \"10.0.0.0/8\""_s)) << log.toStdString();
    EXPECT_EQ(exchange("PALM01|TestConnessione|\r"), QByteArray());
    ASSERT_TRUE(waitForLog(u"Connessione rifiutata da 127.0.0.1: indirizzo non ammesso"_s)) << log.toStdString();
    EXPECT_EQ(stop(SIGTERM), 0);
    EXPECT_TRUE(notifications().contains(u"STOPPING=1"_s)) << received.toStdString();
}
