// SPDX-License-Identifier: GPL-3.0-or-later
// The two heaviest synchronisation replies, through the server's own handlers (legacy SQL
// translated, DAO-shaped recordsets) beside a hand-written function that builds the same text
// with direct SQLite prepared statements: what the database layer costs on the hot path.
//
//   bench_sync --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// "SincroArticoli": a menu of 5,000 articles. "SincroComande": a waiter with 40 open orders of 15
// lines each (every third line with a variation). The *_Tcp cases time the whole exchange of a
// handheld on the loopback: connect, send the request, read the reply until the server closes.
#include "Clock.h"
#include "HandheldLink.h"
#include "RestaurantSchema.h"
#include "SincroReplies.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

constexpr int Articles = 5000;
constexpr int Orders = 40;
constexpr int LinesPerOrder = 15;
constexpr int Waiter = 2;

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

// A prepared statement that lives as long as the benchmark.
class Stmt
{
public:
    Stmt(sqlite3 *db, const char *sql)
    {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "prepare: %s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
    }
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;
    sqlite3_stmt *operator*() const { return m_stmt; }
    sqlite3_stmt *reset() const
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        return m_stmt;
    }

private:
    sqlite3_stmt *m_stmt = nullptr;
};

// A day number as the handhelds get it: the Italian short date with the year whole.
QString dayText(sqlite3_stmt *s, int col)
{
    return QDate(1899, 12, 30).addDays(sqlite3_column_int64(s, col)).toString(u"dd/MM/yyyy"_s);
}

QString text(sqlite3_stmt *s, int col)
{
    switch (sqlite3_column_type(s, col)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QString::number(sqlite3_column_int64(s, col));
    case SQLITE_FLOAT:
        return tipi::numberText(sqlite3_column_double(s, col));
    default:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, col)));
    }
}

QString flag(sqlite3_stmt *s, int col)
{
    return sqlite3_column_double(s, col) != 0 ? u"1"_s : u"0"_s;
}

QString dayPart(const QDateTime &at)
{
    static const char *const days[] = {"lun_", "mar_", "mer_", "gio_", "ven_", "sab_", "dom_"};
    const int h = at.time().hour();
    return u"lst_"_s + QString::fromLatin1(days[at.date().dayOfWeek() - 1]) + (h > 6 && h < 18 ? u"g"_s : u"s"_s);
}

// The restaurant of the benchmark, its handlers and the hand-written counterparts.
struct Fixture
{
    QTemporaryDir dir;
    QString path;
    FixedClock clock{QDateTime(QDate(2024, 3, 15), QTime(12, 0))};
    clsDatabase db;
    std::unique_ptr<modPlikoServer> mod;
    KeepingLink link;
    std::unique_ptr<SincroReplies> replies;
    sqlite3 *raw = nullptr;
    std::unique_ptr<Stmt> articles, setting, vat, window, tables, lines, variations, openingSetting;

    Fixture()
    {
        regional().locale = QLocale(QLocale::Italian, QLocale::Italy);
        regional().decimals = 2;
        regional().clock = &clock;
        path = dir.filePath(u"bench.db"_s);
        QString error;
        if (!schema::createDatabase(path, true, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            std::exit(1);
        }
        fill();
        db.setYieldBeforeStatements(false);
        db.openDB(path);
        mod = std::make_unique<modPlikoServer>(db);
        replies = std::make_unique<SincroReplies>(db, *mod, link);
        sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        articles = std::make_unique<Stmt>(
            raw, "SELECT codice, descrizione, listino_a_ivato, listino_b_ivato, listino_c_ivato, listino_d_ivato,"
                 " giacenza, articolo_restaurant, id_tipo_merce, preferito, posizione_preferito FROM magazzino"
                 " WHERE in_shop_screen <> 0 AND visibile_shop_screen <> 0 AND cancellato = 0");
        setting = std::make_unique<Stmt>(raw, "SELECT value FROM var_long WHERE name = ?1");
        vat = std::make_unique<Stmt>(raw, "SELECT aliquota FROM iva WHERE codice = 0");
        openingSetting = std::make_unique<Stmt>(raw, "SELECT value FROM var_str WHERE name = ?1");
        window = std::make_unique<Stmt>(
            raw, "SELECT comande.id_comanda, inizio, ultima_ordinazione, coperti, data, pre_conto FROM comande,"
                 " tavoli_occupati WHERE comande.id_comanda = tavoli_occupati.id_comanda AND inizio BETWEEN ?1"
                 " AND ?2 AND stato = 0 AND id_operatore = ?3");
        tables = std::make_unique<Stmt>(raw, "SELECT numero_tavolo FROM tavoli_occupati WHERE id_comanda = ?1");
        lines = std::make_unique<Stmt>(
            raw, "SELECT id_merce_comanda, id_articolo, quantita, turno FROM merce_comande WHERE id_comanda = ?1");
        variations = std::make_unique<Stmt>(
            raw, "SELECT id_variazione, quantita FROM merce_comande_variazioni WHERE id_merce_comanda = ?1");
        check();
    }

    ~Fixture()
    {
        articles.reset();
        setting.reset();
        vat.reset();
        openingSetting.reset();
        window.reset();
        tables.reset();
        lines.reset();
        variations.reset();
        sqlite3_close(raw);
        db.closeDB();
        regional().clock = nullptr;
    }

    void exec(sqlite3 *h, const char *sql)
    {
        char *err = nullptr;
        if (sqlite3_exec(h, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            std::fprintf(stderr, "%s: %s\n", sql, err);
            std::exit(1);
        }
    }

    void fill()
    {
        sqlite3 *h = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &h, SQLITE_OPEN_READWRITE, nullptr);
        exec(h, "BEGIN");
        exec(h, "DELETE FROM magazzino");
        {
            Stmt ins(h, "INSERT INTO magazzino (codice, descrizione, id_tipo_merce, codice_iva, listino_a_ivato,"
                        " listino_b_ivato, listino_c_ivato, listino_d_ivato, giacenza, articolo_restaurant,"
                        " preferito, posizione_preferito, in_shop_screen, visibile_shop_screen, cancellato)"
                        " VALUES (?1, ?2, ?3, 10, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, -1, -1, 0)");
            for (int i = 1; i <= Articles; ++i) {
                sqlite3_stmt *s = ins.reset();
                const double price = 3.0 + (i % 97) * 0.35;
                const QByteArray name = QStringLiteral("Articolo di prova %1").arg(i).toUtf8();
                sqlite3_bind_int(s, 1, 1000 + i);
                sqlite3_bind_text(s, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
                sqlite3_bind_int(s, 3, 1 + i % 8);
                sqlite3_bind_double(s, 4, price);
                sqlite3_bind_double(s, 5, price * 1.1);
                sqlite3_bind_double(s, 6, price * 0.9);
                sqlite3_bind_double(s, 7, price * 1.2);
                sqlite3_bind_double(s, 8, i % 5 == 0 ? 24.5 : 0);
                sqlite3_bind_int(s, 9, i % 5 == 0 ? 0 : -1);
                sqlite3_bind_int(s, 10, i % 50 == 0 ? -1 : 0);
                sqlite3_bind_int(s, 11, i % 50 == 0 ? i / 50 : 0);
                sqlite3_step(s);
            }
        }
        {
            // Friday morning orders, open at Friday noon in the demo's 10:00-02:00 day.
            const double friday = tipi::momentOf(QDateTime(QDate(2024, 3, 15), QTime(10, 30)));
            Stmt order(h, "INSERT INTO comande (inizio, ultima_ordinazione, data, coperti, id_operatore, stato)"
                          " VALUES (?1, ?1 + 900, 45366, 4, ?2, 0)");
            Stmt table(h, "INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES (?1, ?2)");
            Stmt line(h, "INSERT INTO merce_comande (id_comanda, id_articolo, quantita, turno) VALUES (?1, ?2, ?3, ?4)");
            Stmt variation(h, "INSERT INTO merce_comande_variazioni (id_merce_comanda, id_variazione, quantita)"
                              " VALUES (?1, ?2, 1)");
            for (int o = 0; o < Orders * 2; ++o) {
                // Every other order belongs to a colleague, so the waiter's query has to choose.
                sqlite3_stmt *s = order.reset();
                sqlite3_bind_double(s, 1, friday + o * 60);
                sqlite3_bind_int(s, 2, o % 2 == 0 ? Waiter : 3);
                sqlite3_step(s);
                const qint64 key = sqlite3_last_insert_rowid(h);
                s = table.reset();
                sqlite3_bind_int(s, 1, 1 + o);
                sqlite3_bind_int64(s, 2, key);
                sqlite3_step(s);
                for (int l = 0; l < LinesPerOrder; ++l) {
                    s = line.reset();
                    sqlite3_bind_int64(s, 1, key);
                    sqlite3_bind_int(s, 2, 1001 + (o * LinesPerOrder + l) % Articles);
                    sqlite3_bind_double(s, 3, l % 4 == 0 ? 1.5 : 1 + l % 3);
                    sqlite3_bind_int(s, 4, 1 + l % 3);
                    sqlite3_step(s);
                    if (l % 3 == 0) {
                        const qint64 lineKey = sqlite3_last_insert_rowid(h);
                        s = variation.reset();
                        sqlite3_bind_int64(s, 1, lineKey);
                        sqlite3_bind_int(s, 2, 1 + l % 15);
                        sqlite3_step(s);
                    }
                }
            }
        }
        exec(h, "COMMIT");
        sqlite3_close(h);
    }

    // The hand-written "SincroArticoli": the same per-row reads of the price-list setting and the
    // VAT rate, the same conversions.
    QString handArticoli()
    {
        QString reply = u"SincroArticoli|"_s;
        sqlite3_stmt *s = articles->reset();
        while (sqlite3_step(s) == SQLITE_ROW) {
            const QByteArray name = dayPart(tipi::now()).toUtf8();
            sqlite3_stmt *st = setting->reset();
            sqlite3_bind_text(st, 1, name.constData(), int(name.size()), SQLITE_STATIC);
            int list = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : 0;
            if (list < 0 || list > 3)
                list = 0;
            sqlite3_stmt *v = vat->reset();
            const double rate = sqlite3_step(v) == SQLITE_ROW ? sqlite3_column_double(v, 0) : 0.0;
            const Currency price = modPlikoServer::prezzoIvato(
                Currency::fromDouble(sqlite3_column_double(s, 2 + list)), rate);
            reply += text(s, 0) + u'|' + text(s, 1) + u'|' + text(s, 8) + u'|' + tipi::numberText(price.toDouble())
                + u'|' + tipi::numberText(sqlite3_column_double(s, 6)) + u'|' + flag(s, 7) + u'|' + flag(s, 9)
                + u'|' + text(s, 10) + u';';
        }
        return reply + u'\r';
    }

    double settingSeconds(const char *name)
    {
        sqlite3_stmt *st = openingSetting->reset();
        sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
        if (sqlite3_step(st) != SQLITE_ROW)
            return 0;
        const QString value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        if (!value.contains(u':'))
            return value.toDouble();
        const QStringList hm = value.split(u':');
        return 86400.0 + hm.value(0).toInt() * 3600.0 + hm.value(1).toInt() * 60.0;
    }

    // The hand-written "SincroComande" over the same business-day window.
    QString handComande(int operatore)
    {
        const double opening = settingSeconds("ora_apertura_attivita");
        const double closing = settingSeconds("ora_chiusura_attivita");
        const QDateTime now = tipi::now();
        const qint64 today = tipi::dayNumber(now.date());
        const int openingMinutes = int(std::fmod(opening, 86400.0)) / 60;
        const qint64 base = now.time().hour() * 60 + now.time().minute() < openingMinutes ? today - 2 : today - 1;
        const double start = base * 86400.0 + opening;
        const double end = (opening < closing ? base : base + 1) * 86400.0 + closing;

        QString reply = u"SincroComande|"_s;
        sqlite3_stmt *w = window->reset();
        sqlite3_bind_double(w, 1, start);
        sqlite3_bind_double(w, 2, end);
        sqlite3_bind_int(w, 3, operatore);
        while (sqlite3_step(w) == SQLITE_ROW) {
            const qint64 key = sqlite3_column_int64(w, 0);
            QString list;
            sqlite3_stmt *t = tables->reset();
            sqlite3_bind_int64(t, 1, key);
            while (sqlite3_step(t) == SQLITE_ROW)
                list += text(t, 0) + u',';
            list.chop(1);
            reply += u"C|"_s + text(w, 1) + u'|' + text(w, 2) + u'|' + list + u'|' + text(w, 3) + u'|' + dayText(w, 4)
                + u'|' + flag(w, 5) + u';';
            sqlite3_stmt *l = lines->reset();
            sqlite3_bind_int64(l, 1, key);
            while (sqlite3_step(l) == SQLITE_ROW) {
                reply += u"M|"_s + text(l, 1) + u'|' + text(l, 2) + u'|' + text(l, 3) + u';';
                sqlite3_stmt *v = variations->reset();
                sqlite3_bind_int64(v, 1, sqlite3_column_int64(l, 0));
                while (sqlite3_step(v) == SQLITE_ROW)
                    reply += u"V|"_s + text(v, 0) + u'|' + text(v, 1) + u';';
            }
        }
        return reply + u'\r';
    }

    // Both ways must give the same text, or the comparison means nothing.
    void check()
    {
        replies->sincroArticoli(1);
        const QString a = link.last;
        if (a != handArticoli() || a.count(u';') != Articles) {
            std::fprintf(stderr, "SincroArticoli: the two replies differ\n");
            std::exit(1);
        }
        replies->sincroComande(Waiter, 1);
        const QString c = link.last;
        if (c != handComande(Waiter) || c.count(u"C|"_s) != Orders || c.count(u"M|"_s) != Orders * LinesPerOrder) {
            std::fprintf(stderr, "SincroComande: the two replies differ\n");
            std::exit(1);
        }
    }
};

Fixture *fixture = nullptr;

// A loopback handheld exchange: one request per connection, the reply written as one piece and
// the connection closed once it has gone out, as the handheld server does.
class LoopbackExchange
{
public:
    using Answer = std::function<QString(const QString &request)>;

    explicit LoopbackExchange(Answer answer) : m_answer(std::move(answer))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    m_buffer += QString::fromLatin1(s->readAll());
                    const qsizetype cr = m_buffer.lastIndexOf(u'\r');
                    if (cr < 0)
                        return;
                    const QString request = m_buffer.left(cr);
                    m_buffer.clear();
                    s->write(m_answer(request).toLatin1());
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    // Sends one request and returns the reply the server sent before closing.
    QByteArray ask(const QByteArray &request)
    {
        QTcpSocket client;
        QByteArray reply;
        QEventLoop loop;
        QObject::connect(&client, &QTcpSocket::readyRead, &loop, [&] { reply += client.readAll(); });
        QObject::connect(&client, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
        QObject::connect(&client, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
        client.connectToHost(QHostAddress::LocalHost, m_server.serverPort());
        client.write(request);
        loop.exec();
        return reply + client.readAll();
    }

private:
    Answer m_answer;
    QTcpServer m_server;
    QString m_buffer;
};

// The server side through the handlers: the request's command word picks the reply.
QString handlerAnswer(const QString &request)
{
    const QString word = request.section(u'|', 1, 1);
    if (word == u"SincroArticoli"_s)
        fixture->replies->sincroArticoli(2);
    else
        fixture->replies->sincroComande(qint16(request.section(u'|', 2).toInt()), 2);
    return fixture->link.last;
}

QString directAnswer(const QString &request)
{
    const QString word = request.section(u'|', 1, 1);
    return word == u"SincroArticoli"_s ? fixture->handArticoli()
                                       : fixture->handComande(request.section(u'|', 2).toInt());
}

void runTcp(benchmark::State &state, LoopbackExchange::Answer answer, const QByteArray &request)
{
    LoopbackExchange exchange(std::move(answer));
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray reply = exchange.ask(request);
        bytes = reply.size();
        benchmark::DoNotOptimize(reply);
    }
    state.counters["bytes"] = double(bytes);
}

const QByteArray ArticoliRequest = "H01|SincroArticoli|\r";
const QByteArray ComandeRequest = "H01|SincroComande|2\r";

void SincroArticoli_Handler(benchmark::State &state)
{
    for (auto _ : state) {
        fixture->replies->sincroArticoli(1);
        benchmark::DoNotOptimize(fixture->link.last);
    }
    state.counters["bytes"] = double(fixture->link.last.size());
}
BENCHMARK(SincroArticoli_Handler)->Unit(benchmark::kMillisecond);

void SincroArticoli_DirectSqlite(benchmark::State &state)
{
    for (auto _ : state) {
        QString r = fixture->handArticoli();
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(SincroArticoli_DirectSqlite)->Unit(benchmark::kMillisecond);

void SincroComande_Handler(benchmark::State &state)
{
    for (auto _ : state) {
        fixture->replies->sincroComande(Waiter, 1);
        benchmark::DoNotOptimize(fixture->link.last);
    }
    state.counters["bytes"] = double(fixture->link.last.size());
}
BENCHMARK(SincroComande_Handler)->Unit(benchmark::kMillisecond);

void SincroComande_DirectSqlite(benchmark::State &state)
{
    for (auto _ : state) {
        QString r = fixture->handComande(Waiter);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(SincroComande_DirectSqlite)->Unit(benchmark::kMillisecond);

void SincroArticoli_Tcp_Handler(benchmark::State &state)
{
    runTcp(state, handlerAnswer, ArticoliRequest);
}
BENCHMARK(SincroArticoli_Tcp_Handler)->Unit(benchmark::kMillisecond);

void SincroArticoli_Tcp_DirectSqlite(benchmark::State &state)
{
    runTcp(state, directAnswer, ArticoliRequest);
}
BENCHMARK(SincroArticoli_Tcp_DirectSqlite)->Unit(benchmark::kMillisecond);

void SincroComande_Tcp_Handler(benchmark::State &state)
{
    runTcp(state, handlerAnswer, ComandeRequest);
}
BENCHMARK(SincroComande_Tcp_Handler)->Unit(benchmark::kMillisecond);

void SincroComande_Tcp_DirectSqlite(benchmark::State &state)
{
    runTcp(state, directAnswer, ComandeRequest);
}
BENCHMARK(SincroComande_Tcp_DirectSqlite)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture f;
    fixture = &f;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixture = nullptr;
    return 0;
}
