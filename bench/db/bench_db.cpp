// SPDX-License-Identifier: GPL-3.0-or-later
// The database class against the same work prepared directly on SQLite, in one run:
// a single-row SELECT by key, and an order-sized write transaction (one header, 20 lines,
// 20 stock updates, commit) on a durable WAL database.
#include "RestaurantSchema.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

struct Fixture
{
    QTemporaryDir dir;
    QString path;
    Fixture()
    {
        path = dir.filePath(u"bench.db"_s);
        QString error;
        if (!schema::createDatabase(path, true, &error))
            qFatal("cannot create the database: %s", qPrintable(error));
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void BM_SelectByKey_clsDatabase(benchmark::State &state)
{
    clsDatabase db;
    db.setYieldBeforeStatements(false);
    db.openDB(fixture().path);
    int code = 101;
    for (auto _ : state) {
        auto rs = db.openSnapshot(u"SELECT descrizione, listino_a_ivato FROM magazzino WHERE codice = "_s
                                  + QString::number(code));
        benchmark::DoNotOptimize(rs->value(u"descrizione"_s));
        benchmark::DoNotOptimize(rs->value(u"listino_a_ivato"_s));
        code = code == 160 ? 101 : code + 1;
    }
}

void BM_SelectByKey_directSqlite(benchmark::State &state)
{
    sqlite3 *db = nullptr;
    sqlite3_open(fixture().path.toUtf8().constData(), &db);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT descrizione, listino_a_ivato FROM magazzino WHERE codice = ?", -1, &st, nullptr);
    int code = 101;
    for (auto _ : state) {
        sqlite3_bind_int(st, 1, code);
        if (sqlite3_step(st) == SQLITE_ROW) {
            benchmark::DoNotOptimize(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0))));
            benchmark::DoNotOptimize(sqlite3_column_double(st, 1));
        }
        sqlite3_reset(st);
        code = code == 160 ? 101 : code + 1;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
}

void BM_OrderWrite_clsDatabase(benchmark::State &state)
{
    clsDatabase db;
    db.setYieldBeforeStatements(false);
    db.openDB(fixture().path);
    double inizio = 3913228800.0;
    for (auto _ : state) {
        db.beginTrans();
        auto header = db.openTable(u"comande"_s);
        db.addNewRecord(*header);
        header->setValue(u"inizio"_s, inizio++);
        header->setValue(u"id_operatore"_s, 1);
        header->setValue(u"coperti"_s, 4);
        const qint32 key = tipi::toLong(header->value(u"id_comanda"_s));
        db.updateRecord(*header);
        auto lines = db.openTable(u"merce_comande"_s);
        for (int i = 0; i < 20; ++i) {
            const int article = 141 + (i % 10);
            db.addNewRecord(*lines);
            lines->setValue(u"id_comanda"_s, key);
            lines->setValue(u"id_articolo"_s, article);
            lines->setValue(u"descrizione"_s, u"Articolo"_s);
            lines->setValue(u"quantita"_s, 1.0);
            lines->setValue(u"prezzo"_s, 3.5);
            lines->setValue(u"totale"_s, 3.5);
            db.updateRecord(*lines);
            db.doQuery(u"UPDATE magazzino SET giacenza_comanda = giacenza_comanda + 1 WHERE not articolo_restaurant"
                       " AND codice = "_s + QString::number(article));
        }
        db.commitTrans();
    }
}

void BM_OrderWrite_directSqlite(benchmark::State &state)
{
    sqlite3 *db = nullptr;
    sqlite3_open(fixture().path.toUtf8().constData(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
    sqlite3_stmt *header = nullptr, *line = nullptr, *stock = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO comande (inizio, id_operatore, coperti) VALUES (?, ?, ?)", -1, &header,
                       nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO merce_comande (id_comanda, id_articolo, descrizione, quantita, prezzo, totale)"
                           " VALUES (?, ?, ?, ?, ?, ?)", -1, &line, nullptr);
    sqlite3_prepare_v2(db, "UPDATE magazzino SET giacenza_comanda = giacenza_comanda + ? WHERE NOT articolo_restaurant"
                           " AND codice = ?", -1, &stock, nullptr);
    double inizio = 3923228800.0;
    for (auto _ : state) {
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_double(header, 1, inizio++);
        sqlite3_bind_int(header, 2, 1);
        sqlite3_bind_int(header, 3, 4);
        sqlite3_step(header);
        sqlite3_reset(header);
        const sqlite3_int64 key = sqlite3_last_insert_rowid(db);
        for (int i = 0; i < 20; ++i) {
            const int article = 141 + (i % 10);
            sqlite3_bind_int64(line, 1, key);
            sqlite3_bind_int(line, 2, article);
            sqlite3_bind_text(line, 3, "Articolo", -1, SQLITE_STATIC);
            sqlite3_bind_double(line, 4, 1.0);
            sqlite3_bind_double(line, 5, 3.5);
            sqlite3_bind_double(line, 6, 3.5);
            sqlite3_step(line);
            sqlite3_reset(line);
            sqlite3_bind_double(stock, 1, 1.0);
            sqlite3_bind_int(stock, 2, article);
            sqlite3_step(stock);
            sqlite3_reset(stock);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(header);
    sqlite3_finalize(line);
    sqlite3_finalize(stock);
    sqlite3_close(db);
}

} // namespace

BENCHMARK(BM_SelectByKey_clsDatabase);
BENCHMARK(BM_SelectByKey_directSqlite);
BENCHMARK(BM_OrderWrite_clsDatabase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OrderWrite_directSqlite)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
