// SPDX-License-Identifier: GPL-3.0-or-later
// The baseline for order recording: the same reads, inserts and updates that recording a new
// 20-line order does, written by hand with prepared SQLite statements, one transaction per order,
// on a durable WAL database.
//   pliko-orders-direct DATABASE [SECONDS] [LINES]
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

sqlite3_stmt *prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, sqlite3_errmsg(db));
        std::exit(1);
    }
    return st;
}

void run(sqlite3_stmt *st)
{
    while (sqlite3_step(st) == SQLITE_ROW) {
    }
    sqlite3_reset(st);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pliko-orders-direct DATABASE [SECONDS] [LINES]\n");
        return 1;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    const int lines = argc > 3 ? std::atoi(argv[3]) : 20;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db, 1000);

    sqlite3_stmt *find = prepare(db, "SELECT id_comanda FROM comande WHERE inizio = ? AND id_operatore = ?");
    sqlite3_stmt *header = prepare(db, "INSERT INTO comande (inizio, coperti, costo_coperti, totale, id_operatore,"
                                       " stato, data, gia_scaricato) VALUES (?, 2, 4, 0, ?, 0, 46000, 0)");
    sqlite3_stmt *freeTables = prepare(db, "DELETE FROM tavoli_occupati WHERE id_comanda = ?");
    sqlite3_stmt *table = prepare(db, "INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES (?, ?)");
    sqlite3_stmt *release = prepare(db, "UPDATE magazzino SET giacenza_comanda = giacenza_comanda - coalesce((SELECT"
                                        " SUM(quantita) FROM merce_comande WHERE codice = id_articolo AND id_comanda ="
                                        " ?1), 0) WHERE NOT articolo_restaurant AND EXISTS (SELECT 1 FROM merce_comande"
                                        " WHERE codice = id_articolo AND id_comanda = ?1)");
    sqlite3_stmt *dropVariations = prepare(db, "DELETE FROM merce_comande_variazioni WHERE id_merce_comanda IN"
                                               " (SELECT id_merce_comanda FROM merce_comande WHERE id_comanda = ?)");
    sqlite3_stmt *dropLines = prepare(db, "DELETE FROM merce_comande WHERE id_comanda = ?");
    sqlite3_stmt *available = prepare(db, "SELECT giacenza - giacenza_comanda FROM magazzino WHERE NOT"
                                          " articolo_restaurant AND codice = ?");
    sqlite3_stmt *article = prepare(db, "SELECT descrizione, costo_medio, ultimo_prezzo, cod_art_forn,"
                                        " id_unita_misura, articolo_alimentare, codice_iva FROM magazzino WHERE"
                                        " codice = ?");
    sqlite3_stmt *vat = prepare(db, "SELECT aliquota FROM iva WHERE codice = ?");
    sqlite3_stmt *unit = prepare(db, "SELECT nome FROM unita_misura WHERE id = ?");
    sqlite3_stmt *line = prepare(db, "INSERT INTO merce_comande (id_comanda, id_articolo, descrizione, quantita,"
                                     " prezzo, turno, prezzo_non_ivato, iva, codice_articolo_fornitore, unita_misura,"
                                     " sconto, costo_medio, ultimo_prezzo, gia_stampata, qta_stampata,"
                                     " codice_lotto_interno, codice_lotto_ufficiale, id_lotto, totale) VALUES (?, ?,"
                                     " ?, 1, 9.5, 1, 8.64, 10, ?, ?, '', ?, ?, 0, 0, '', '', ?, 9.5)");
    sqlite3_stmt *stock = prepare(db, "UPDATE magazzino SET giacenza_comanda = giacenza_comanda + 1 WHERE NOT"
                                      " articolo_restaurant AND codice = ?");

    std::vector<double> latencies;
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    sqlite3_int64 inizio = 3929435200LL;
    while (std::chrono::steady_clock::now() < end) {
        const auto t0 = std::chrono::steady_clock::now();
        ++inizio;
        const int waiter = 1 + int(inizio % 4);
        sqlite3_bind_int64(find, 1, inizio);
        sqlite3_bind_int(find, 2, waiter);
        run(find);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_int64(header, 1, inizio);
        sqlite3_bind_int(header, 2, waiter);
        run(header);
        const sqlite3_int64 key = sqlite3_last_insert_rowid(db);
        for (sqlite3_stmt *st : {freeTables, dropLines}) {
            sqlite3_bind_int64(st, 1, key);
            if (st == dropLines) {
                sqlite3_bind_int64(release, 1, key);
                run(release);
                sqlite3_bind_int64(dropVariations, 1, key);
                run(dropVariations);
            }
            run(st);
            if (st == freeTables) {
                sqlite3_bind_int(table, 1, 1 + int(inizio % 20));
                sqlite3_bind_int64(table, 2, key);
                run(table);
            }
        }
        for (int l = 0; l < lines; ++l) {
            const int code = 101 + l % 40;
            sqlite3_bind_int(available, 1, code);
            run(available);
            sqlite3_bind_int(article, 1, code);
            int vatCode = 0, unitKey = 0;
            if (sqlite3_step(article) == SQLITE_ROW) {
                unitKey = sqlite3_column_int(article, 4);
                vatCode = sqlite3_column_int(article, 6);
            }
            sqlite3_reset(article);
            sqlite3_bind_int(vat, 1, vatCode);
            run(vat);
            sqlite3_bind_int(unit, 1, unitKey);
            run(unit);
            sqlite3_bind_int64(line, 1, key);
            sqlite3_bind_int(line, 2, code);
            sqlite3_bind_text(line, 3, "Articolo", -1, SQLITE_STATIC);
            sqlite3_bind_text(line, 4, "F-1", -1, SQLITE_STATIC);
            sqlite3_bind_text(line, 5, "porz", -1, SQLITE_STATIC);
            sqlite3_bind_double(line, 6, 2.85);
            sqlite3_bind_double(line, 7, 3.04);
            sqlite3_bind_int(line, 8, -200);
            run(line);
            sqlite3_bind_int(stock, 1, code);
            run(stock);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        latencies.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::sort(latencies.begin(), latencies.end());
    auto pct = [&](double p) { return latencies.empty() ? 0.0 : latencies[size_t(p * double(latencies.size() - 1))]; };
    std::printf("direct: orders=%zu duration=%.1fs orders/s=%.0f p50=%.3fms p99=%.3fms\n", latencies.size(), elapsed,
                double(latencies.size()) / elapsed, pct(0.5), pct(0.99));
    sqlite3_close_v2(db);
    return 0;
}
