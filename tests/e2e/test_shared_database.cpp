// SPDX-License-Identifier: GPL-3.0-or-later
// Two plikoserver programs on one PostgreSQL restaurant (a dining room and a terrace on their own
// addresses), their handhelds all ordering the same bottled water while it runs out.
#include "PgCluster.h"
#include "ServerProcess.h"

#include <libpq-fe.h>

namespace {

constexpr int StockArticle = 141; // "Acqua naturale 0,75" of the demo restaurant
constexpr int Dish = 111;         // a kitchen dish, no stock
constexpr int Stock = 30;
constexpr int HandheldsPerServer = 3;

class SharedDatabase : public ServerBinaryTest
{
protected:
    // The demo restaurant in a new database of the private server, its handhelds configured.
    void SetUp() override
    {
        if (!pg.unavailableReason().isEmpty())
            GTEST_SKIP() << pg.unavailableReason().toStdString();
        ASSERT_TRUE(pg.start()) << pg.error().toStdString();
        ASSERT_TRUE(pg.createDatabase(u"pliko"_s)) << pg.error().toStdString();
        createRestaurant(1, pg.uri(u"pliko"_s));
    }
    // The dining room's server, its log in a file, answering.
    void startDiningRoom(const QString &more = {})
    {
        logToFile(server, u"sala"_s);
        startProcess(server, {u"--headless"_s, u"--config"_s, configFor(u"sala"_s, u"127.0.0.1"_s, more)});
        ASSERT_TRUE(answers());
    }
    // Stops (SIGSTOP) or resumes the database server: its postmaster and every backend.
    void freeze(bool stopped)
    {
        const pid_t master = pg.serverPid();
        const QList<pid_t> backends = processesWhere([&](const QList<QByteArray> &, const QByteArray &stat) {
            const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
            return f.size() > 1 && f[1].toInt() == master;
        });
        for (const pid_t p : backends + QList<pid_t>{master})
            signalProcess(p, stopped ? SIGSTOP : SIGCONT);
    }
    PgCluster pg;
};

// The first column of every row, straight from PostgreSQL (not through the server's own classes).
QStringList column(PGconn *conn, const QString &sql)
{
    PGresult *res = PQexec(conn, sql.toUtf8().constData());
    QStringList values;
    if (PQresultStatus(res) != PGRES_TUPLES_OK)
        ADD_FAILURE() << sql.toStdString() << ": " << PQerrorMessage(conn);
    else
        for (int r = 0; r < PQntuples(res); ++r)
            values << QString::fromUtf8(PQgetvalue(res, r, 0));
    PQclear(res);
    return values;
}

} // namespace

TEST_F(SharedDatabase, TwoServersSellTheLastBottlesOnceAndRecordEveryOrderWhole)
{
    ASSERT_EQ(query(u"UPDATE magazzino SET giacenza = %1, giacenza_comanda = 0 WHERE codice = %2"_s.arg(Stock).arg(
                        StockArticle),
                  true),
        u"ok"_s);

    logToFile(server, u"sala"_s);
    logToFile(second, u"terrazza"_s);
    startProcess(server, {u"--headless"_s, u"--config"_s, configFor(u"sala"_s, u"127.0.0.1"_s)});
    startProcess(second, {u"--headless"_s, u"--config"_s, configFor(u"terrazza"_s, u"127.0.0.2"_s)});
    for (const QString &host : {u"127.0.0.1"_s, u"127.0.0.2"_s})
        ASSERT_TRUE(answers(host)) << host.toStdString() << "\n"
                                   << fileLog(u"sala"_s).constData() << fileLog(u"terrazza"_s).constData();

    // Handhelds on both servers: orders of a water and a dish, each a new order on its own table,
    // until a while past the last bottle, so that orders meet an empty stock on both servers.
    OrderStream stream(
        2 * HandheldsPerServer, 2, { u"127.0.0.1"_s, u"127.0.0.2"_s }, [](int h, qint64 inizio) -> QByteArray {
            return "PALM0" + QByteArray::number(h) + "|Comanda|" + QByteArray::number(inizio) + "|"
                + QByteArray::number(h + 1) + "|2|2|0|0;M|" + QByteArray::number(StockArticle) + "|1|2,50|1|x|0|0;M|"
                + QByteArray::number(Dish) + "|1|11,00|1|x|0|0;";
        });
    waitFor([&] { return stream.replies().values().join().contains("NonDisponibile|"); }, 60000);
    QThread::sleep(1);
    stream.stop();
    const QHash<qint64, QByteArray> replies = stream.replies();
    EXPECT_EQ(stop(SIGTERM), 0);
    signalProcess(second.processId(), SIGTERM);
    EXPECT_TRUE(second.waitForFinished(15000));

    PGconn *conn = PQconnectdb(dbPath.toUtf8().constData());
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    const QString article = QString::number(StockArticle);
    const auto number = [&](const QString &sql) { return column(conn, sql).value(0).toDouble(); };
    // What the stock says is taken is what the recorded lines hold.
    const double committed = number(u"SELECT giacenza_comanda FROM magazzino WHERE codice = "_s + article);
    EXPECT_EQ(committed, number(u"SELECT coalesce(sum(quantita), 0) FROM merce_comande WHERE id_articolo = "_s + article));

    // Confirmed: the water and the dish recorded; sold out: the dish only; anything else (no reply):
    // not there at all, not half there.
    int confirmed = 0;
    int soldOut = 0;
    int unanswered = 0;
    for (auto it = replies.cbegin(); it != replies.cend(); ++it) {
        const QString inizio = QString::number(it.key());
        SCOPED_TRACE(inizio.toStdString() + " " + it.value().toStdString());
        const bool ok = it.value() == "ComandaOK|\r";
        const bool out = it.value().startsWith(QByteArray("NonDisponibile|" + QByteArray::number(StockArticle) + ":"));
        confirmed += ok;
        soldOut += out;
        unanswered += !ok && !out;
        EXPECT_EQ(column(conn, u"SELECT id_comanda FROM comande WHERE inizio = "_s + inizio).size(), ok || out ? 1 : 0);
        EXPECT_EQ(column(conn,
                      u"SELECT id_articolo FROM merce_comande m, comande c WHERE m.id_comanda = c.id_comanda"
                      " AND c.inizio = "_s
                          + inizio + u" ORDER BY id_articolo"_s),
            (ok           ? QStringList { QString::number(Dish), article }
                    : out ? QStringList { QString::number(Dish) }
                          : QStringList()));
    }
    // Every order is answered, no order is there twice, and none is there that no handheld sent.
    EXPECT_EQ(unanswered, 0);
    EXPECT_GT(soldOut, 0);
    EXPECT_EQ(confirmed, Stock);
    EXPECT_EQ(number(u"SELECT count(*) FROM comande"_s), confirmed + soldOut);
    EXPECT_EQ(number(u"SELECT count(*) FROM (SELECT inizio FROM comande GROUP BY inizio HAVING count(*) > 1) d"_s), 0);
    EXPECT_EQ(committed, confirmed);
    PQfinish(conn);
    std::printf("orders: %d confirmed, %d sold out, %d unanswered; stock taken %g of %d\n", confirmed, soldOut,
                unanswered, committed, Stock);
    if (HasFailure())
        std::printf("dining room log:\n%s\nterrace log:\n%s\nPostgreSQL log:\n%s\n",
                    fileLog(u"sala"_s).right(4000).constData(), fileLog(u"terrazza"_s).right(4000).constData(),
                    qPrintable(pg.logTail(40)));
}

// The database server goes down in the middle of service and comes back: the order of the outage
// gets no confirmation and is not recorded, the server keeps answering (no restart), and the
// next order after the database is back is recorded.
TEST_F(SharedDatabase, ADatabaseServerRestartMidServiceCostsOnlyTheOrdersOfTheOutage)
{
    startDiningRoom();
    const qint64 pid = server.processId();

    auto order = [&](int moment, int table) {
        return exchange("PALM01|Comanda|39194352" + QByteArray::number(moment) + "|" + QByteArray::number(table)
                        + "|2|1|0|11,50;M|111|1|11,50|1|x|0|0;\r");
    };
    EXPECT_EQ(order(10, 1), "ComandaOK|\r");
    ASSERT_TRUE(pg.stop(PgCluster::StopMode::Immediate));
    EXPECT_NE(order(20, 2), "ComandaOK|\r");
    EXPECT_EQ(exchange("PALM09|TestConnessione|\r"), "TestOK|\r");
    ASSERT_TRUE(pg.start()) << pg.error().toStdString();
    // The failed order marked the database down; the probe, once a second, finds it back.
    QThread::msleep(1500);
    EXPECT_EQ(order(30, 3), "ComandaOK|\r") << fileLog(u"sala"_s).constData();
    EXPECT_EQ(server.processId(), pid) << "the server restarted for a database it cannot mend";

    PGconn *conn = PQconnectdb(dbPath.toUtf8().constData());
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    EXPECT_EQ(column(conn, u"SELECT numero_tavolo FROM tavoli_occupati ORDER BY 1"_s),
              (QStringList{u"1"_s, u"3"_s}));
    PQfinish(conn);
}

// The database server freezes (SIGSTOP) for 5 s during an order stream: connection tests are answered
// at once throughout, every confirmed order is recorded whole, and once the server thaws and the probe
// finds it back, orders are confirmed again, by the same server process.
TEST_F(SharedDatabase, AFrozenOrLockedDatabaseServerNeitherSilencesTheServerNorCostsAConfirmedOrder)
{
    startDiningRoom(u"DatabaseRequestSeconds=2\n"_s);
    const qint64 pid = server.processId();

    OrderStream stream(2, 3);
    QThread::msleep(500);
    expectAnsweredDuring([&] {
        freeze(true);
        QThread::msleep(5000);
        freeze(false);
    });
    // A back office that holds the orders' table locked is waited for no longer than the bound either.
    expectAnsweredDuring([&] {
        QProcess psql;
        psql.start(u"psql"_s, {u"-q"_s, dbPath, u"-c"_s, u"BEGIN; LOCK TABLE comande; SELECT pg_sleep(5); COMMIT;"_s});
        EXPECT_TRUE(psql.waitForFinished(20000) && psql.exitCode() == 0) << psql.readAllStandardError().data();
    });
    // The probe, once a second, finds the database back; the stream is served again.
    QThread::msleep(2000);
    const qsizetype after = stream.confirmed().size();
    ASSERT_TRUE(waitFor([&] { return stream.confirmed().size() > after + 2; }, 10000))
        << fileLog(u"sala"_s).constData();
    stream.stop();
    stream.expectEveryConfirmedOrderWhole(dbPath);
    EXPECT_EQ(server.processId(), pid) << "the server restarted for a database it cannot mend";
}
