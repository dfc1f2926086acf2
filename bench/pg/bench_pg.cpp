// SPDX-License-Identifier: GPL-3.0-or-later
// The database class on PostgreSQL beside hand-written libpq prepared statements doing the same
// work, on a private cluster started for the run (Unix socket only):
//   Order20Lines_*: a new 20-line order recorded in one writing transaction, through the server's
//     OrderRecorder (as a TCP handheld's "Comanda", no printers) and by hand (the same look-ups,
//     the same rows: header, table, 20 lines, stock commitment, the same writer lock).
//   SincroArticoli_*: the menu reply for 5,000 articles through the server's handler and by hand
//     (the same rows in one snapshot, the same text).
//
//   bench_pg --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The cluster runs with fsync off, as the tests' clusters do, so that the figures show the cost of
// the database layer rather than the disk's; PLIKO_BENCH_PG_FSYNC=on turns it on.
#include "Clock.h"
#include "HandheldLink.h"
#include "OrderRecorder.h"
#include "PgCluster.h"
#include "RestaurantSchema.h"
#include "SincroReplies.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int Articles = 5000;
constexpr int OrderLines = 20;
// The key every server's writing transactions lock (one writer at a time).
constexpr const char *WriterLockKey = "344693443407"; // 0x504c494b4f

[[noreturn]] void die(const QString &what)
{
    std::fprintf(stderr, "bench_pg: %s\n", qPrintable(what));
    std::exit(1);
}

class KeepingLink final : public HandheldLink
{
public:
    int inviaRisposta(const QString &text, int) override
    {
        last = text;
        return 1;
    }
    bool aspettaChiusura(int) override { return true; }
    QString last;
};

// A libpq connection with named prepared statements, for the hand-written side.
class Pq
{
public:
    explicit Pq(const QString &uri)
    {
        m_conn = PQconnectdb(uri.toUtf8().constData());
        if (PQstatus(m_conn) != CONNECTION_OK)
            die(u"cannot connect: "_s + QString::fromUtf8(PQerrorMessage(m_conn)));
    }
    ~Pq() { PQfinish(m_conn); }
    Pq(const Pq &) = delete;
    Pq &operator=(const Pq &) = delete;

    void prepare(const char *name, const char *sql)
    {
        check(PQprepare(m_conn, name, sql, 0, nullptr), sql);
    }
    void exec(const char *sql) { check(PQexec(m_conn, sql), sql); }
    // Runs a prepared statement; the result belongs to the caller (Result frees it).
    PGresult *run(const char *name, std::initializer_list<const char *> values)
    {
        std::vector<const char *> v(values);
        return check(PQexecPrepared(m_conn, name, int(v.size()), v.data(), nullptr, nullptr, 0), name, true);
    }

private:
    PGresult *check(PGresult *res, const char *what, bool keep = false)
    {
        const ExecStatusType st = PQresultStatus(res);
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
            die(QString::fromUtf8(what) + u": "_s + QString::fromUtf8(PQerrorMessage(m_conn)));
        if (keep)
            return res;
        PQclear(res);
        return nullptr;
    }

    PGconn *m_conn = nullptr;
};

struct Result
{
    PGresult *res;
    ~Result() { PQclear(res); }
    int rows() const { return PQntuples(res); }
    const char *text(int col, int row = 0) const { return PQgetvalue(res, row, col); }
    double number(int col, int row = 0) const { return std::strtod(PQgetvalue(res, row, col), nullptr); }
    bool isNull(int col, int row = 0) const { return PQgetisnull(res, row, col); }
};

QByteArray num(qint64 v)
{
    return QByteArray::number(v);
}

// ---------------------------------------------------------------------------------------------
// A 20-line order.

struct OrderBench
{
    QString uri;
    clsDatabase db;
    std::unique_ptr<modPlikoServer> helpers;
    KeepingLink link;
    std::unique_ptr<OrderRecorder> recorder;
    std::unique_ptr<Pq> pq;
    qint64 inizio = 3919435200LL;

    explicit OrderBench(QString address) : uri(std::move(address))
    {
        QString error;
        if (!schema::createDatabase(uri, true, &error))
            die(u"demo restaurant: "_s + error);
        db.setYieldBeforeStatements(false);
        if (!db.openDB(uri))
            die(u"cannot open "_s + uri);
        helpers = std::make_unique<modPlikoServer>(db);
        recorder = std::make_unique<OrderRecorder>(db, *helpers, link, nullptr, nullptr);
        pq = std::make_unique<Pq>(uri);
        pq->prepare("lock", "SELECT pg_advisory_xact_lock($1::bigint)");
        pq->prepare("find", "SELECT id_comanda FROM comande WHERE inizio = $1 AND id_operatore = $2");
        pq->prepare("header", "INSERT INTO comande (inizio, ultima_ordinazione, coperti, costo_coperti, totale,"
                              " id_operatore, stato, data, gia_scaricato) VALUES ($1, $2, 2, 4, -4, $3, 0, $4, 0)"
                              " RETURNING id_comanda");
        pq->prepare("freeTables", "DELETE FROM tavoli_occupati WHERE id_comanda = $1");
        pq->prepare("table", "INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES ($1, $2)");
        pq->prepare("release", "UPDATE magazzino SET giacenza_comanda = giacenza_comanda - m.quantita FROM"
                               " merce_comande m WHERE codice = m.id_articolo AND articolo_restaurant = 0 AND"
                               " m.id_comanda = $1");
        pq->prepare("dropVariations", "DELETE FROM merce_comande_variazioni v USING merce_comande m WHERE"
                                      " v.id_merce_comanda = m.id_merce_comanda AND m.id_comanda = $1");
        pq->prepare("dropLines", "DELETE FROM merce_comande WHERE id_comanda = $1");
        pq->prepare("available", "SELECT giacenza - giacenza_comanda FROM magazzino WHERE articolo_restaurant = 0"
                                 " AND codice = $1");
        pq->prepare("article", "SELECT descrizione, costo_medio, ultimo_prezzo, cod_art_forn, id_unita_misura,"
                               " articolo_alimentare, codice_iva FROM magazzino WHERE codice = $1");
        pq->prepare("vat", "SELECT aliquota FROM iva WHERE codice = $1");
        pq->prepare("unit", "SELECT nome FROM unita_misura WHERE id = $1");
        pq->prepare("line", "INSERT INTO merce_comande (id_comanda, id_articolo, descrizione, quantita, prezzo, turno,"
                            " prezzo_non_ivato, iva, codice_articolo_fornitore, unita_misura, sconto, costo_medio,"
                            " ultimo_prezzo, gia_stampata, qta_stampata, codice_lotto_interno,"
                            " codice_lotto_ufficiale, id_lotto, totale) VALUES ($1, $2, $3, 1, 9.5, $4, $5, $6,"
                            " $7, $8, '', $9, $10, 0, 0, '', '', $11, 9.5) RETURNING id_merce_comanda");
        pq->prepare("stock", "UPDATE magazzino SET giacenza_comanda = giacenza_comanda + 1 WHERE"
                             " articolo_restaurant = 0 AND codice = $1");
        pq->prepare("written", "SELECT c.coperti, c.costo_coperti, c.totale, c.stato, c.data, c.gia_scaricato,"
                               " t.numero_tavolo, m.id_articolo, m.descrizione, m.quantita, m.prezzo, m.turno,"
                               " m.prezzo_non_ivato, m.iva, m.codice_articolo_fornitore, m.unita_misura, m.sconto,"
                               " m.costo_medio, m.ultimo_prezzo, m.gia_stampata, m.qta_stampata,"
                               " m.codice_lotto_interno, m.codice_lotto_ufficiale, m.id_lotto, m.totale FROM comande c"
                               " JOIN tavoli_occupati t ON t.id_comanda = c.id_comanda JOIN merce_comande m ON"
                               " m.id_comanda = c.id_comanda WHERE c.inizio = $1 ORDER BY m.id_merce_comanda");
        pq->prepare("committed", "SELECT sum(giacenza_comanda) FROM magazzino");
        check();
    }

    // The rows an order left: its header, table and lines without their keys.
    QStringList written(qint64 moment)
    {
        const QByteArray m = num(moment);
        Result r{pq->run("written", {m.constData()})};
        QStringList rows;
        for (int row = 0; row < r.rows(); ++row) {
            QStringList fields;
            for (int c = 0; c < PQnfields(r.res); ++c)
                fields.append(QString::fromUtf8(r.text(c, row)));
            rows.append(fields.join(u'|'));
        }
        return rows;
    }

    double committedStock()
    {
        Result r{pq->run("committed", {})};
        return r.number(0);
    }

    // Both ways must write the same rows (an order of the same table, waiter and moment of day),
    // or the comparison means nothing.
    void check()
    {
        const double before = committedStock();
        throughRecorder();
        const QStringList recorded = written(inizio);
        const double afterRecorder = committedStock();
        inizio += 19; // the same table (moment modulo 20) and waiter (modulo 4)
        byHand();
        const QStringList hand = written(inizio);
        if (recorded.size() != OrderLines || recorded != hand)
            die(u"the two ways wrote different rows:\n"_s + recorded.join(u'\n') + u"\n---\n"_s + hand.join(u'\n'));
        if (committedStock() - afterRecorder != afterRecorder - before)
            die(u"the two ways committed different stock"_s);
    }

    // The order a handheld sends: a moment of its own, so every one is a new order.
    QString orderText()
    {
        ++inizio;
        QString text = QString::number(inizio) + u'|' + QString::number(1 + inizio % 20) + u"|2|"_s
            + QString::number(1 + inizio % 4) + u"|4,00|0;"_s;
        for (int l = 0; l < OrderLines; ++l)
            text += u"M|"_s + QString::number(101 + l % 40) + u"|1|9,50|"_s + QString::number(1 + l % 3)
                + u"|x|0|0;"_s;
        return text;
    }

    void throughRecorder()
    {
        if (!recorder->salvaComanda(orderText(), 1, false, false) || link.last != u"ComandaOK|\r"_s)
            die(u"the order was not recorded: "_s + link.last + db.lastErrorText());
    }

    void byHand()
    {
        ++inizio;
        const QByteArray moment = num(inizio), waiter = num(1 + inizio % 4);
        pq->exec("BEGIN");
        Result{pq->run("lock", {WriterLockKey})};
        Result found{pq->run("find", {moment.constData(), waiter.constData()})};
        const QByteArray now = QByteArray::number(modPlikoServer::momentoAttuale(), 'g', 17);
        const QByteArray day = num(tipi::dayNumber(tipi::today()));
        Result header{pq->run("header", {moment.constData(), now.constData(), waiter.constData(), day.constData()})};
        const QByteArray key = header.text(0);
        const QByteArray table = num(1 + inizio % 20);
        Result{pq->run("freeTables", {key.constData()})};
        Result{pq->run("table", {table.constData(), key.constData()})};
        Result{pq->run("release", {key.constData()})};
        Result{pq->run("dropVariations", {key.constData()})};
        Result{pq->run("dropLines", {key.constData()})};
        // VAT rates and unit names once per order, as the server reads them.
        QHash<QByteArray, double> rates;
        QHash<QByteArray, QByteArray> units;
        for (int l = 0; l < OrderLines; ++l) {
            const QByteArray code = num(101 + l % 40), shift = num(1 + l % 3);
            Result available{pq->run("available", {code.constData()})};
            if (available.rows() > 0 && available.number(0) < 1)
                die(u"article "_s + QString::fromLatin1(code) + u" is out of stock"_s);
            Result art{pq->run("article", {code.constData()})};
            if (art.rows() == 0)
                die(u"article "_s + QString::fromLatin1(code) + u" is missing"_s);
            const QByteArray vatCode = art.text(6), unitKey = art.text(4);
            if (!rates.contains(vatCode)) {
                Result vat{pq->run("vat", {vatCode.constData()})};
                rates.insert(vatCode, vat.rows() > 0 ? vat.number(0) : 0.0);
            }
            if (!units.contains(unitKey)) {
                Result unit{pq->run("unit", {unitKey.constData()})};
                units.insert(unitKey, unit.rows() > 0 ? QByteArray(unit.text(0)) : QByteArray());
            }
            const double rate = rates.value(vatCode);
            const QByteArray net = QByteArray::number(tipi::arrotonda(9.5 * 100.0 / (100.0 + rate), 2), 'g', 17);
            const QByteArray vat = QByteArray::number(rate, 'g', 17);
            const QByteArray name = QByteArray(art.text(0)).trimmed();
            const QByteArray lot = std::strtod(art.text(5), nullptr) != 0 ? "-200" : "0";
            Result{pq->run("line", {key.constData(), code.constData(), name.constData(), shift.constData(),
                                    net.constData(), vat.constData(), art.text(3), units.value(unitKey).constData(),
                                    art.text(1), art.text(2), lot.constData()})};
            Result{pq->run("stock", {code.constData()})};
        }
        pq->exec("COMMIT");
    }
};

// ---------------------------------------------------------------------------------------------
// "SincroArticoli" for 5,000 articles.

QString dayPart(const QDateTime &at)
{
    static const char *const days[] = {"lun_", "mar_", "mer_", "gio_", "ven_", "sab_", "dom_"};
    const int h = at.time().hour();
    return u"lst_"_s + QString::fromLatin1(days[at.date().dayOfWeek() - 1]) + (h > 6 && h < 18 ? u"g"_s : u"s"_s);
}

QString flagText(const Result &r, int col, int row)
{
    return r.number(col, row) != 0 ? u"1"_s : u"0"_s;
}

struct MenuBench
{
    QString uri;
    clsDatabase db;
    std::unique_ptr<modPlikoServer> mod;
    KeepingLink link;
    std::unique_ptr<SincroReplies> replies;
    std::unique_ptr<Pq> pq;

    explicit MenuBench(QString address) : uri(std::move(address))
    {
        QString error;
        if (!schema::createDatabase(uri, true, &error))
            die(u"demo restaurant: "_s + error);
        pq = std::make_unique<Pq>(uri);
        fill();
        db.setYieldBeforeStatements(false);
        if (!db.openDB(uri))
            die(u"cannot open "_s + uri);
        mod = std::make_unique<modPlikoServer>(db);
        replies = std::make_unique<SincroReplies>(db, *mod, link);
        pq->prepare("articles", "SELECT codice, descrizione, listino_a_ivato, listino_b_ivato, listino_c_ivato,"
                                " listino_d_ivato, giacenza, articolo_restaurant, id_tipo_merce, preferito,"
                                " posizione_preferito FROM magazzino WHERE in_shop_screen <> 0 AND"
                                " visibile_shop_screen <> 0 AND cancellato = 0");
        pq->prepare("setting", "SELECT value FROM var_long WHERE name = $1");
        pq->prepare("vat0", "SELECT aliquota FROM iva WHERE codice = 0");
        replies->sincroArticoli(1);
        const QString handler = link.last, hand = byHand();
        if (handler != hand || handler.count(u';') != Articles) {
            qsizetype i = 0;
            while (i < handler.size() && i < hand.size() && handler[i] == hand[i])
                ++i;
            die(u"SincroArticoli: the two replies differ at "_s + QString::number(i) + u": "_s + handler.mid(i, 60)
                + u" / "_s + hand.mid(i, 60));
        }
    }

    // The articles of bench_sync's menu, written once before the run.
    void fill()
    {
        pq->exec("BEGIN");
        pq->exec("DELETE FROM magazzino");
        pq->prepare("insert", "INSERT INTO magazzino (codice, descrizione, id_tipo_merce, codice_iva, listino_a_ivato,"
                              " listino_b_ivato, listino_c_ivato, listino_d_ivato, giacenza, articolo_restaurant,"
                              " preferito, posizione_preferito, in_shop_screen, visibile_shop_screen, cancellato)"
                              " VALUES ($1, $2, $3, 10, $4, $5, $6, $7, $8, $9, $10, $11, -1, -1, 0)");
        for (int i = 1; i <= Articles; ++i) {
            const double price = 3.0 + (i % 97) * 0.35;
            const QByteArray v[] = {num(1000 + i),
                                    QStringLiteral("Articolo di prova %1").arg(i).toUtf8(),
                                    num(1 + i % 8),
                                    QByteArray::number(price, 'g', 17),
                                    QByteArray::number(price * 1.1, 'g', 17),
                                    QByteArray::number(price * 0.9, 'g', 17),
                                    QByteArray::number(price * 1.2, 'g', 17),
                                    i % 5 == 0 ? "24.5" : "0",
                                    i % 5 == 0 ? "0" : "-1",
                                    i % 50 == 0 ? "-1" : "0",
                                    num(i % 50 == 0 ? i / 50 : 0)};
            Result{pq->run("insert", {v[0].constData(), v[1].constData(), v[2].constData(), v[3].constData(),
                                      v[4].constData(), v[5].constData(), v[6].constData(), v[7].constData(),
                                      v[8].constData(), v[9].constData(), v[10].constData()})};
        }
        pq->exec("COMMIT");
    }

    // The hand-written reply, in one read-only snapshot as the handler reads: the articles, the
    // price-list setting of the moment and the VAT rate of code 0 (read once each: they cannot
    // change inside the snapshot), the same conversions.
    QString byHand()
    {
        pq->exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        QString reply = u"SincroArticoli|"_s;
        Result r{pq->run("articles", {})};
        QHash<QString, int> lists;
        double rate = -1;
        for (int row = 0; row < r.rows(); ++row) {
            const QString setting = dayPart(tipi::now());
            auto it = lists.constFind(setting);
            if (it == lists.constEnd()) {
                const QByteArray name = setting.toUtf8();
                Result st{pq->run("setting", {name.constData()})};
                const int list = st.rows() > 0 ? int(st.number(0)) : 0;
                it = lists.insert(setting, list < 0 || list > 3 ? 0 : list);
            }
            if (rate < 0) {
                Result v{pq->run("vat0", {})};
                rate = v.rows() > 0 ? v.number(0) : 0.0;
            }
            const Currency price = modPlikoServer::prezzoIvato(Currency::fromDouble(r.number(2 + *it, row)), rate);
            reply += QString::fromUtf8(r.text(0, row)) + u'|' + QString::fromUtf8(r.text(1, row)) + u'|'
                + QString::fromUtf8(r.text(8, row)) + u'|' + tipi::numberText(price.toDouble()) + u'|'
                + tipi::numberText(r.number(6, row)) + u'|' + flagText(r, 7, row) + u'|' + flagText(r, 9, row)
                + u'|' + QString::fromUtf8(r.text(10, row)) + u';';
        }
        pq->exec("COMMIT");
        return reply + u'\r';
    }
};

std::unique_ptr<OrderBench> orders;
std::unique_ptr<MenuBench> menu;

void Order20Lines_Recorder(benchmark::State &state)
{
    for (auto _ : state)
        orders->throughRecorder();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Order20Lines_Recorder)->Unit(benchmark::kMillisecond)->UseRealTime();

void Order20Lines_DirectLibpq(benchmark::State &state)
{
    for (auto _ : state)
        orders->byHand();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Order20Lines_DirectLibpq)->Unit(benchmark::kMillisecond)->UseRealTime();

void SincroArticoli_Handler(benchmark::State &state)
{
    for (auto _ : state) {
        menu->replies->sincroArticoli(1);
        benchmark::DoNotOptimize(menu->link.last);
    }
    state.counters["bytes"] = double(menu->link.last.size());
}
BENCHMARK(SincroArticoli_Handler)->Unit(benchmark::kMillisecond)->UseRealTime();

void SincroArticoli_DirectLibpq(benchmark::State &state)
{
    for (auto _ : state) {
        QString r = menu->byHand();
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(SincroArticoli_DirectLibpq)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    PgCluster pg;
    if (!pg.unavailableReason().isEmpty()) {
        std::printf("bench_pg skipped: %s\n", qPrintable(pg.unavailableReason()));
        return 0;
    }
    if (qgetenv("PLIKO_BENCH_PG_FSYNC") == "on") {
        if (!pg.start() || !pg.stop())
            die(pg.error());
        QFile conf(pg.dataDir() + u"/postgresql.conf"_s);
        if (!conf.open(QIODevice::Append | QIODevice::Text) || conf.write("\nfsync = on\n") < 0)
            die(u"cannot turn fsync on in "_s + conf.fileName());
    }
    if (!pg.start() || !pg.createDatabase(u"orders"_s) || !pg.createDatabase(u"menu"_s))
        die(pg.error());
    regional().locale = QLocale(QLocale::Italian, QLocale::Italy);
    regional().decimals = 2;
    FixedClock clock{QDateTime(QDate(2024, 3, 15), QTime(12, 0))};
    regional().clock = &clock;
    orders = std::make_unique<OrderBench>(pg.uri(u"orders"_s));
    menu = std::make_unique<MenuBench>(pg.uri(u"menu"_s));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    menu.reset();
    orders.reset();
    regional().clock = nullptr;
    return 0;
}
