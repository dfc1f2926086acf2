// SPDX-License-Identifier: GPL-3.0-or-later
// The metrics endpoint and the status report: what a monitoring system scrapes, what
// `pliko-ctl status` prints, and the addresses the endpoint may listen on.
#include "HandheldClient.h"
#include "MetricsServer.h"
#include "ServerStats.h"
#include "ServiceSupervisor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

TEST(Metrics, TheEndpointListensOnThisMachinesAddressesOnly)
{
    const QList<std::pair<QString, bool>> cases = {
        {u"127.0.0.1:9312"_s, true}, {u"[::1]:9312"_s, true},   {u"localhost:9312"_s, true},
        {u"0.0.0.0:9312"_s, false},  {u"8.8.8.8:9312"_s, false}, {u"127.0.0.1"_s, false},
        {u"127.0.0.1:0"_s, false},   {u"127.0.0.1:70000"_s, false}, {u"cucina:9312"_s, false},
        {u"[::ffff:127.0.0.1]:9312"_s, true}, {u"127.0.0.1:31512"_s, false},
    };
    for (const auto &[text, ok] : cases) {
        QString error;
        EXPECT_EQ(MetricsServer::parseAddress(text, nullptr, nullptr, &error), ok) << text.toStdString();
        EXPECT_EQ(error.isEmpty(), ok) << error.toStdString();
    }
}

TEST(Metrics, APrometheusScrapeGetsTheTextFormatAndAnythingElseIsTurnedAway)
{
    MetricsServer server([] { return u"pliko_uptime_seconds 5\n"_s; });
    // Port 0 is no address for the configuration; the test takes a free port by trying.
    quint16 port = 0;
    for (quint16 p = 39312; p < 39412 && port == 0; ++p) {
        if (server.listen(u"127.0.0.1:"_s + QString::number(p)))
            port = p;
    }
    ASSERT_NE(port, 0);
    const QByteArray ok = exchange(port, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(ok.startsWith("HTTP/1.0 200 OK\r\n")) << ok.constData();
    EXPECT_TRUE(ok.endsWith("\r\n\r\npliko_uptime_seconds 5\n")) << ok.constData();
    EXPECT_TRUE(exchange(port, "GET / HTTP/1.0\r\n\r\n").startsWith("HTTP/1.0 404"));
    EXPECT_TRUE(exchange(port, "POST /metrics HTTP/1.0\r\n\r\n").startsWith("HTTP/1.0 405"));
    // A head that never ends is cut off, not buffered without end.
    EXPECT_TRUE(exchange(port, "GET /metrics HTTP/1.0\r\nX: " + QByteArray(20000, 'a')).startsWith("HTTP/1.0 431"));
    // Clients that connect and say nothing neither starve a scrape nor stay for long.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 12; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(u"127.0.0.1"_s, port);
    }
    EXPECT_TRUE(exchange(port, "GET /metrics HTTP/1.0\r\n\r\n").startsWith("HTTP/1.0 200 OK\r\n"));
    const auto closed = [](const auto &c) { return c->state() == QAbstractSocket::UnconnectedState; };
    EXPECT_TRUE(pumpUntil([&] { return std::all_of(idle.begin(), idle.end(), closed); }, 4000))
        << "an idle connection still open after 4 s";
    server.stop();
    EXPECT_FALSE(server.isListening());
}

TEST(Metrics, CountersOfAServiceAppearInTheStatusAndTheScrape)
{
    ServerStatus s;
    s.slotsInUse = 3;
    s.slotsTotal = 499;
    s.databasePath = u"/var/lib/plikoserver/restaurant.db"_s;
    s.databasePresent = true;
    s.stats.requestHandled(u"Comanda"_s);
    s.stats.requestHandled(u"Comanda"_s);
    s.stats.requestHandled(u"SincroTavoli"_s);
    s.stats.orderRecorded(true);
    s.stats.orderRecorded(false);
    // A radio order counts in the totals and on its own path.
    s.stats.radioOrderRecorded(true);
    s.stats.setRadioSource([] { return ServerStats::Radio{40, 3, false, true, -1}; });
    s.stats.printJob(u"Cucina"_s, true);
    s.stats.printJob(u"Bar \"nuovo\""_s, false, u"coda CUPS \"Bar\" non trovata"_s);
    s.stats.requestTimed(u"Comanda"_s, 0.02);
    s.stats.requestTimed(u"Comanda"_s, 3.0);

    const QString text = s.prometheusText();
    for (const QString &line : {
             u"pliko_request_duration_seconds_bucket{command=\"Comanda\",le=\"0.01\"} 0"_s,
             u"pliko_request_duration_seconds_bucket{command=\"Comanda\",le=\"0.025\"} 1"_s,
             u"pliko_request_duration_seconds_bucket{command=\"Comanda\",le=\"+Inf\"} 2"_s,
             u"pliko_request_duration_seconds_count{command=\"Comanda\"} 2"_s,
             u"pliko_requests_total{command=\"Comanda\"} 2"_s,
             u"pliko_orders_recorded_total 2"_s,
             u"pliko_orders_by_path_total{path=\"tcp\"} 1"_s,
             u"pliko_orders_by_path_total{path=\"radio\"} 1"_s,
             u"pliko_duvu_polls_failed_total 3"_s,
             u"pliko_duvu_link_up 0"_s,
             u"pliko_orders_refused_total 1"_s,
             u"pliko_print_failures_total{printer=\"Bar \\\"nuovo\\\"\"} 1"_s,
             u"pliko_slots_in_use 3"_s,
         })
        EXPECT_TRUE(text.contains(u'\n' + line + u'\n')) << line.toStdString() << text.toStdString();
    EXPECT_TRUE(text.endsWith(u'\n'));
    // The naming rules of Prometheus: counters, and only counters, end in _total.
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList words = line.split(u' ');
        EXPECT_TRUE(!line.startsWith(u"# TYPE "_s) || words[2].endsWith(u"_total"_s) == (words[3] == u"counter"_s))
            << line.toStdString();
    }

    const QStringList lines = s.statusLines();
    EXPECT_TRUE(lines.contains(u"slot in uso: 3/499"_s)) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(u"richieste per comando: Comanda=2, SincroTavoli=1"_s));
    EXPECT_TRUE(lines.contains(u"stampante Bar \"nuovo\": 1 lavori, 1 non riusciti (ultimo errore: coda CUPS \"Bar\" non trovata)"_s));
    EXPECT_TRUE(lines.contains(u"database: /var/lib/plikoserver/restaurant.db (chiuso)"_s));
    EXPECT_TRUE(lines.contains(u"comande per canale: tcp 1 registrate, 1 rifiutate; radio 1 registrate, 0 rifiutate"_s));
    EXPECT_TRUE(lines.contains(u"Duvu interrogazioni: 40 (3 senza risposta); linea: scollegato"_s));
}

TEST(EventLines, EachLineSaysWhoAskedWhatAndWhatTheyGot)
{
    struct Case
    {
        QString command;
        QString rest;
        QString reply;
        qint32 key;
        QString line;
    };
    const QList<Case> cases = {
        {u"Comanda"_s, u"3919436000|12,13|2|4|4,00|25,00;M|145|1|5,00|1|Birra|0|0;M|111|1|11,00|1|R|0|0;V|5|1;"_s,
         u"ComandaOK|\r"_s, 17, u"192.168.1.20 slot 5: Comanda -> ComandaOK (comanda 17, tavolo 12,13, 2 righe)"_s},
        {u"Comanda"_s, u"3919436000|7|2|2|4,00|5,00;M|145|9|5,00|1|Birra|0|0;"_s, u"NonDisponibile|145;\r"_s, 0,
         u"192.168.1.20 slot 5: Comanda -> NonDisponibile (comanda -, tavolo 7, 1 righe)"_s},
        {u"Preconto"_s, u"19"_s, u"errore|Tavolo non occupato, impossibile stampare il preconto\r"_s, 0,
         u"192.168.1.20 slot 5: Preconto -> errore: Tavolo non occupato, impossibile stampare il preconto"_s},
        // A whole table plan is not the event list's business: the reply kind only.
        {u"SincroTavoli"_s, {}, u"SincroTavoli|1|4;2|4;3|4;\r"_s, 0, u"192.168.1.20 slot 5: SincroTavoli -> SincroTavoli"_s},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ServiceSupervisor::eventLine(5, u"192.168.1.20"_s, c.command, c.rest, c.reply, c.key), c.line);
}
