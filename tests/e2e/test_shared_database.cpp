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
    // pliko-sql on the restaurant; its standard output, or "" with a failure recorded.
    static QString plikoSql(const QStringList &args)
    {
        QProcess p;
        p.start(QStringLiteral(PLIKOSQL_BINARY), args);
        if (!p.waitForFinished(120000) || p.exitCode() != 0) {
            ADD_FAILURE() << "pliko-sql " << args.join(u' ').toStdString() << ": "
                          << p.readAllStandardError().constData();
            return {};
        }
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QByteArray serverLog(const QString &name) const
    {
        QFile f(dir.filePath(name + u".log"_s));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The demo restaurant in a new database of the private server, its handhelds configured.
    void SetUp() override
    {
        if (!pg.unavailableReason().isEmpty())
            GTEST_SKIP() << pg.unavailableReason().toStdString();
        ASSERT_TRUE(pg.start()) << pg.error().toStdString();
        ASSERT_TRUE(pg.createDatabase(u"pliko"_s)) << pg.error().toStdString();
        dbPath = pg.uri(u"pliko"_s);
        plikoSql({u"--create"_s, u"--demo"_s, dbPath});
        plikoSql({dbPath, u"UPDATE var_long SET value = 1 WHERE name = 'palmare_configurato'"_s});
    }
    // The dining room's server, its log in a file, answering.
    void startDiningRoom(const QString &more = {})
    {
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.setStandardOutputFile(dir.filePath(u"sala.log"_s));
        start({u"--headless"_s, u"--config"_s, configFor(u"sala"_s, u"127.0.0.1"_s, more)});
        ASSERT_TRUE(waitFor([&] { return exchange("PALM09|TestConnessione|\r") == "TestOK|\r"; }));
    }
    // Stops (SIGSTOP) or resumes the database server: its postmaster and every backend.
    void freeze(bool stopped)
    {
        const pid_t master = pg.serverPid();
        QList<pid_t> pids{master};
        for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
            QFile stat(u"/proc/"_s + entry + u"/stat"_s);
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (f.size() > 1 && f[1].toInt() == master)
                pids << pid_t(entry.toInt());
        }
        for (const pid_t p : pids)
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
    plikoSql({dbPath, u"UPDATE magazzino SET giacenza = "_s + QString::number(Stock)
                          + u", giacenza_comanda = 0 WHERE codice = "_s + QString::number(StockArticle)});
    ASSERT_FALSE(HasFailure());

    // Their logs go to files: nobody reads a pipe while the handhelds work, and a full one would
    // stop the server at its next log line.
    for (auto [process, name] : {std::pair{&server, "sala"}, std::pair{&second, "terrazza"}}) {
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setStandardOutputFile(dir.filePath(QString::fromUtf8(name) + u".log"_s));
    }
    start({u"--headless"_s, u"--config"_s, configFor(u"sala"_s, u"127.0.0.1"_s)});
    startProcess(second, {u"--headless"_s, u"--config"_s, configFor(u"terrazza"_s, u"127.0.0.2"_s)});
    for (const QString &host : {u"127.0.0.1"_s, u"127.0.0.2"_s})
        ASSERT_TRUE(waitFor([&] { return exchange("PALM09|TestConnessione|\r", nullptr, host) == "TestOK|\r"; }))
            << host.toStdString() << "\n"
            << serverLog(u"sala"_s).constData() << serverLog(u"terrazza"_s).constData();

    // Each handheld: orders of a water and a dish, each a new order on its own table, until the water
    // has run out; what each order got back is kept by its opening moment.
    std::mutex mutex;
    QHash<qint64, QByteArray> replies;
    std::atomic<bool> stopping{false};
    std::atomic<bool> soldOutSeen{false};
    std::atomic<int> done{0};
    std::vector<std::thread> handhelds;
    for (int h = 0; h < 2 * HandheldsPerServer; ++h) {
        handhelds.emplace_back([&, h] {
            const QString host = h < HandheldsPerServer ? u"127.0.0.1"_s : u"127.0.0.2"_s;
            for (int n = 0; !stopping && n < 500; ++n) {
                const qint64 inizio = 3919435200LL + h * 100000 + n;
                const QByteArray order = "PALM0" + QByteArray::number(h) + "|Comanda|" + QByteArray::number(inizio)
                                         + "|" + QByteArray::number(h + 1) + "|2|2|0|0;M|"
                                         + QByteArray::number(StockArticle) + "|1|2,50|1|x|0|0;M|"
                                         + QByteArray::number(Dish) + "|1|11,00|1|x|0|0;\r";
                bool connected = false;
                const QByteArray reply = exchange(order, &connected, host);
                if (!connected)
                    break;
                if (reply.startsWith("NonDisponibile|"))
                    soldOutSeen = true;
                std::lock_guard lock(mutex);
                replies.insert(inizio, reply);
            }
            ++done;
        });
    }
    // A while past the last bottle, so that orders meet an empty stock on both servers.
    waitFor([&] { return soldOutSeen || done == 2 * HandheldsPerServer; }, 60000);
    QThread::sleep(1);
    stopping = true;
    for (auto &t : handhelds)
        t.join();
    EXPECT_EQ(stop(SIGTERM), 0);
    signalProcess(second.processId(), SIGTERM);
    EXPECT_TRUE(second.waitForFinished(15000));

    PGconn *conn = PQconnectdb(dbPath.toUtf8().constData());
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    const QString article = QString::number(StockArticle);
    const auto number = [&](const QString &sql) { return column(conn, sql).value(0).toDouble(); };
    // What the stock says is taken is what the recorded lines hold, and never more than there was.
    const double committed = number(u"SELECT giacenza_comanda FROM magazzino WHERE codice = "_s + article);
    EXPECT_EQ(committed, number(u"SELECT coalesce(sum(quantita), 0) FROM merce_comande WHERE id_articolo = "_s + article));
    EXPECT_LE(committed, Stock);

    int confirmed = 0;
    int soldOut = 0;
    int unanswered = 0;
    for (auto it = replies.cbegin(); it != replies.cend(); ++it) {
        const QString inizio = QString::number(it.key());
        SCOPED_TRACE(inizio.toStdString() + " " + it.value().toStdString());
        const QStringList ids = column(conn, u"SELECT id_comanda FROM comande WHERE inizio = "_s + inizio);
        const QStringList articles = column(conn, u"SELECT id_articolo FROM merce_comande m, comande c WHERE"
                                                  " m.id_comanda = c.id_comanda AND c.inizio = "_s
                                                      + inizio + u" ORDER BY id_articolo"_s);
        if (it.value() == "ComandaOK|\r") {
            ++confirmed;
            EXPECT_EQ(ids.size(), 1);
            EXPECT_EQ(articles, QStringList({QString::number(Dish), article}));
        } else if (it.value().startsWith(QByteArray("NonDisponibile|" + QByteArray::number(StockArticle) + ":"))) {
            // Sold out: the dish is recorded, the water is not.
            ++soldOut;
            EXPECT_EQ(ids.size(), 1);
            EXPECT_EQ(articles, QStringList({QString::number(Dish)}));
        } else {
            // Not confirmed: not there at all, not half there.
            ++unanswered;
            EXPECT_EQ(ids, QStringList());
            EXPECT_EQ(articles, QStringList());
        }
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
                    serverLog(u"sala"_s).right(4000).constData(), serverLog(u"terrazza"_s).right(4000).constData(),
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
    EXPECT_EQ(order(30, 3), "ComandaOK|\r") << serverLog(u"sala"_s).constData();
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
    int asked = 0;
    const QStringList failures = connectionTestsDuring(
        [&] {
            freeze(true);
            QThread::msleep(5000);
            freeze(false);
        },
        1500, &asked);
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u"; "_s).toStdString() << " of " << asked;
    // A back office that holds the orders' table locked is waited for no longer than the bound either.
    const QStringList duranteBlocco = connectionTestsDuring(
        [&] {
            QProcess psql;
            psql.start(u"psql"_s, {u"-q"_s, dbPath, u"-c"_s,
                                    u"BEGIN; LOCK TABLE comande; SELECT pg_sleep(5); COMMIT;"_s});
            EXPECT_TRUE(psql.waitForFinished(20000) && psql.exitCode() == 0) << psql.readAllStandardError().data();
        },
        1500, &asked);
    EXPECT_TRUE(duranteBlocco.isEmpty()) << duranteBlocco.join(u"; "_s).toStdString() << " of " << asked;
    // The probe, once a second, finds the database back; the stream is served again.
    QThread::msleep(2000);
    const qsizetype after = stream.confirmed().size();
    ASSERT_TRUE(waitFor([&] { return stream.confirmed().size() > after + 2; }, 10000))
        << serverLog(u"sala"_s).constData();
    stream.stop();
    stream.expectEveryConfirmedOrderWhole(dbPath);
    EXPECT_EQ(server.processId(), pid) << "the server restarted for a database it cannot mend";
}
