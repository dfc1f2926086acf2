// SPDX-License-Identifier: GPL-3.0-or-later
#include "RestaurantSchema.h"

#include "PgEngine.h"
#include "SqliteEngine.h"
#include "modGestioneTipiDato.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

using namespace Qt::StringLiterals;

namespace schema {

namespace {

// Money columns are CURRENCY (numeric, four decimals); booleans are -1/0; moments are seconds
// and day numbers are days, both from 1899-12-30. Text compares without regard to case, as the
// legacy engine did. Index names carry their table's name first: the legacy engine scoped them
// per table, SQLite per database.
const char *const Ddl[] = {
    "CREATE TABLE comande (id_comanda INTEGER PRIMARY KEY AUTOINCREMENT, inizio REAL DEFAULT 0,"
    " ultima_ordinazione REAL DEFAULT 0, data REAL DEFAULT 0, coperti INTEGER DEFAULT 0,"
    " costo_coperti CURRENCY DEFAULT 0, totale CURRENCY DEFAULT 0, id_operatore INTEGER DEFAULT 0,"
    " stato INTEGER DEFAULT 0, fine REAL DEFAULT 0, gia_scaricato BOOLEAN DEFAULT 0, pre_conto BOOLEAN DEFAULT 0)",
    "CREATE UNIQUE INDEX comande_comanda_idx ON comande (id_comanda)",
    "CREATE INDEX comande_inizio_operatore ON comande (inizio, id_operatore)",
    "CREATE TABLE tavoli_occupati (numero_tavolo INTEGER DEFAULT 0, id_comanda INTEGER DEFAULT 0)",
    "CREATE INDEX tavoli_occupati_id_comanda ON tavoli_occupati (id_comanda)",
    "CREATE INDEX tavoli_occupati_numero_tavolo ON tavoli_occupati (numero_tavolo)",
    "CREATE TABLE merce_comande (id_merce_comanda INTEGER PRIMARY KEY AUTOINCREMENT, id_comanda INTEGER DEFAULT 0,"
    " id_articolo INTEGER DEFAULT 0, descrizione TEXT COLLATE NOCASE DEFAULT '', quantita REAL DEFAULT 0,"
    " prezzo CURRENCY DEFAULT 0, turno INTEGER DEFAULT 0, prezzo_non_ivato CURRENCY DEFAULT 0, iva REAL DEFAULT 0,"
    " codice_articolo_fornitore TEXT COLLATE NOCASE DEFAULT '', unita_misura TEXT COLLATE NOCASE DEFAULT '',"
    " sconto TEXT COLLATE NOCASE DEFAULT '', costo_medio CURRENCY DEFAULT 0, ultimo_prezzo CURRENCY DEFAULT 0,"
    " gia_stampata INTEGER DEFAULT 0, qta_stampata INTEGER DEFAULT 0,"
    " codice_lotto_interno TEXT COLLATE NOCASE DEFAULT '', codice_lotto_ufficiale TEXT COLLATE NOCASE DEFAULT '',"
    " id_lotto INTEGER DEFAULT 0, totale CURRENCY DEFAULT 0)",
    "CREATE INDEX merce_comande_id_comanda ON merce_comande (id_comanda)",
    "CREATE TABLE merce_comande_variazioni (id_merce_comanda INTEGER DEFAULT 0, id_variazione INTEGER DEFAULT 0,"
    " quantita REAL DEFAULT 0, descrizione TEXT COLLATE NOCASE DEFAULT '', maggiorazione CURRENCY DEFAULT 0)",
    "CREATE INDEX merce_comande_variazioni_id_merce_comanda ON merce_comande_variazioni (id_merce_comanda)",
    "CREATE TABLE magazzino (codice INTEGER PRIMARY KEY, descrizione TEXT COLLATE NOCASE DEFAULT '',"
    " id_tipo_merce INTEGER DEFAULT 0, codice_iva INTEGER DEFAULT 0,"
    " listino_a_ivato CURRENCY DEFAULT 0, listino_b_ivato CURRENCY DEFAULT 0, listino_c_ivato CURRENCY DEFAULT 0,"
    " listino_d_ivato CURRENCY DEFAULT 0, listino_a CURRENCY DEFAULT 0, listino_b CURRENCY DEFAULT 0,"
    " listino_c CURRENCY DEFAULT 0, listino_d CURRENCY DEFAULT 0, listino_e CURRENCY DEFAULT 0,"
    " listino_f CURRENCY DEFAULT 0, giacenza REAL DEFAULT 0, giacenza_comanda REAL DEFAULT 0,"
    " articolo_restaurant BOOLEAN DEFAULT 0, articolo_alimentare BOOLEAN DEFAULT 0, costo_medio CURRENCY DEFAULT 0,"
    " ultimo_prezzo CURRENCY DEFAULT 0, cod_art_forn TEXT COLLATE NOCASE DEFAULT '', id_unita_misura INTEGER DEFAULT 0,"
    " preferito BOOLEAN DEFAULT 0, posizione_preferito INTEGER DEFAULT 0, in_shop_screen BOOLEAN DEFAULT 0,"
    " visibile_shop_screen BOOLEAN DEFAULT 0, cancellato BOOLEAN DEFAULT 0, id_nano INTEGER DEFAULT 0)",
    "CREATE UNIQUE INDEX magazzino_cod_idx ON magazzino (codice)",
    "CREATE TABLE tipo_merce (num INTEGER PRIMARY KEY, tipo TEXT COLLATE NOCASE DEFAULT '',"
    " posizione_cassa_facile INTEGER DEFAULT 0, id_nano INTEGER DEFAULT 0)",
    "CREATE UNIQUE INDEX tipo_merce_num_idx ON tipo_merce (num)",
    "CREATE TABLE variazioni_comande (id_variazione INTEGER PRIMARY KEY AUTOINCREMENT,"
    " descrizione TEXT COLLATE NOCASE DEFAULT '', prezzo CURRENCY DEFAULT 0)",
    "CREATE TABLE variazioni_comande_categorie (id_variazione INTEGER DEFAULT 0, id_tipo_merce INTEGER DEFAULT 0,"
    " id_nano INTEGER DEFAULT 0)",
    "CREATE TABLE clfn (codice INTEGER PRIMARY KEY, nome TEXT COLLATE NOCASE DEFAULT '',"
    " cognome TEXT COLLATE NOCASE DEFAULT '', nickname TEXT COLLATE NOCASE DEFAULT '', operatore BOOLEAN DEFAULT 0,"
    " cancellato BOOLEAN DEFAULT 0, pwd_nano TEXT COLLATE NOCASE DEFAULT '', gestione_tutti_tavoli BOOLEAN DEFAULT 0,"
    " abilita_storno BOOLEAN DEFAULT 0, id_nano INTEGER DEFAULT 0)",
    "CREATE UNIQUE INDEX clfn_cod_idx ON clfn (codice)",
    "CREATE TABLE tavoli (id_tavolo INTEGER PRIMARY KEY AUTOINCREMENT, numero_tavolo INTEGER DEFAULT 0,"
    " coperti INTEGER DEFAULT 0)",
    "CREATE INDEX tavoli_numero_tavolo ON tavoli (numero_tavolo)",
    "CREATE TABLE prenotazioni (id_prenotazione INTEGER PRIMARY KEY AUTOINCREMENT, data_ora REAL DEFAULT 0,"
    " nome TEXT COLLATE NOCASE DEFAULT '', persone INTEGER DEFAULT 0, note TEXT COLLATE NOCASE DEFAULT '')",
    "CREATE TABLE tavoli_prenotati (id_prenotazione INTEGER DEFAULT 0, numero_tavolo INTEGER DEFAULT 0)",
    "CREATE TABLE categorie_zona_ristorante (id_categoria INTEGER DEFAULT 0, id_zona_ristorante INTEGER DEFAULT 0)",
    "CREATE TABLE iva (codice INTEGER PRIMARY KEY, descrizione TEXT COLLATE NOCASE DEFAULT '', aliquota REAL DEFAULT 0)",
    "CREATE UNIQUE INDEX iva_cod_idx ON iva (codice)",
    "CREATE TABLE unita_misura (id INTEGER PRIMARY KEY, nome TEXT COLLATE NOCASE DEFAULT '')",
    "CREATE UNIQUE INDEX unita_misura_id_idx ON unita_misura (id)",
    "CREATE TABLE var_long (name TEXT COLLATE NOCASE NOT NULL, value INTEGER DEFAULT 0)",
    "CREATE UNIQUE INDEX var_long_name_idx ON var_long (name)",
    "CREATE TABLE var_str (name TEXT COLLATE NOCASE NOT NULL, value TEXT DEFAULT '')",
    "CREATE UNIQUE INDEX var_str_name_idx ON var_str (name)",
    "CREATE TABLE settings (nome TEXT COLLATE NOCASE NOT NULL, valore TEXT DEFAULT '')",
    "CREATE UNIQUE INDEX settings_idx_nome ON settings (nome)",
    nullptr,
};

struct Category
{
    int num;
    const char *name;
    int zone; // 2 kitchen, 3 pizzeria, 4 bar
};

const Category Categories[] = {
    {1, "Antipasti", 2}, {2, "Primi", 2},   {3, "Secondi", 2}, {4, "Contorni", 2},
    {5, "Pizze", 3},     {6, "Dolci", 2},   {7, "Bevande", 4}, {8, "Vini", 4},
};

struct Article
{
    int category;
    const char *name;
    double price;
    bool stock; // a stock article (drinks): stock control, no restaurant dish
};

const Article Articles[] = {
    {1, "Bruschetta al pomodoro", 5.00, false}, {1, "Tagliere di salumi", 12.00, false},
    {1, "Caprese", 9.00, false}, {1, "Prosciutto e melone", 10.00, false},
    {1, "Frittura di calamari", 13.00, false}, {1, "Carpaccio di manzo", 12.50, false},
    {1, "Olive all'ascolana", 6.00, false},
    {2, "Spaghetti alla carbonara", 11.00, false}, {2, "Penne all'arrabbiata", 9.00, false},
    {2, "Lasagne al forno", 12.00, false}, {2, "Risotto ai funghi", 13.00, false},
    {2, "Tagliatelle al ragù", 11.50, false}, {2, "Spaghetti alle vongole", 14.00, false},
    {2, "Gnocchi al pesto", 10.00, false}, {2, "Minestrone", 8.00, false},
    {3, "Tagliata di manzo", 19.00, false}, {3, "Cotoletta alla milanese", 16.00, false},
    {3, "Branzino al forno", 18.00, false}, {3, "Pollo alla griglia", 13.00, false},
    {3, "Saltimbocca alla romana", 15.00, false}, {3, "Grigliata di pesce", 22.00, false},
    {4, "Patate al forno", 4.50, false}, {4, "Insalata mista", 4.00, false},
    {4, "Verdure grigliate", 5.00, false}, {4, "Spinaci al burro", 4.50, false},
    {5, "Margherita", 7.00, false}, {5, "Marinara", 6.00, false}, {5, "Diavola", 8.50, false},
    {5, "Quattro stagioni", 9.50, false}, {5, "Capricciosa", 9.50, false},
    {5, "Quattro formaggi", 9.00, false}, {5, "Napoletana", 8.00, false},
    {5, "Calzone", 9.00, false}, {5, "Bufalina", 10.00, false},
    {6, "Tiramisù", 6.00, false}, {6, "Panna cotta", 5.50, false}, {6, "Cannolo siciliano", 5.00, false},
    {6, "Sorbetto al limone", 4.50, false}, {6, "Torta della nonna", 5.50, false},
    {6, "Gelato misto", 5.00, false},
    {7, "Acqua naturale 0,75", 2.50, true}, {7, "Acqua frizzante 0,75", 2.50, true},
    {7, "Coca-Cola 33cl", 3.50, true}, {7, "Aranciata 33cl", 3.50, true},
    {7, "Birra alla spina 0,4", 5.00, true}, {7, "Birra in bottiglia 33cl", 4.50, true},
    {7, "Caffè", 1.50, false}, {7, "Cappuccino", 2.00, false}, {7, "Amaro", 4.00, true},
    {7, "Limoncello", 4.00, true}, {7, "Tè freddo", 3.00, true},
    {8, "Chianti Classico 0,75", 22.00, true}, {8, "Vermentino 0,75", 20.00, true},
    {8, "Prosecco 0,75", 18.00, true}, {8, "Vino della casa 1/4", 4.00, false},
    {8, "Vino della casa 1/2", 7.00, false}, {8, "Barolo 0,75", 45.00, true},
    {8, "Lambrusco 0,75", 16.00, true}, {8, "Calice di rosso", 5.00, false},
    {8, "Calice di bianco", 5.00, false},
};

struct Variation
{
    const char *name;
    double price;
    int categories[4];
};

const Variation Variations[] = {
    {"Senza cipolla", 0.00, {1, 2, 3, 5}},   {"Extra mozzarella", 1.50, {5}},
    {"Doppia mozzarella", 2.00, {5}},        {"Senza glutine", 2.50, {2, 5}},
    {"Aggiunta funghi", 1.00, {5, 2}},       {"Aggiunta salame piccante", 1.50, {5}},
    {"Porzione ridotta", -2.00, {2, 3}},     {"Senza formaggio", -0.50, {2, 5}},
    {"Ben cotto", 0.00, {3}},                {"Al sangue", 0.00, {3}},
    {"Con ghiaccio", 0.00, {7}},             {"Con limone", 0.00, {7}},
    {"Corretto grappa", 0.50, {7}},          {"Senza zucchero", 0.00, {6, 7}},
    {"Panna extra", 1.00, {6}},
};

bool exec(DbEngine &e, const QString &sql, const QList<QVariant> &values, QString *error)
{
    qint64 n = 0;
    if (e.runNative(sql, values, nullptr, &n))
        return true;
    *error = e.lastError() + u" ["_s + sql + u']';
    return false;
}

bool fillDemo(DbEngine &e, QString *error)
{
    const QList<QList<QVariant>> iva = {{0, u"Esente"_s, 0.0}, {4, u"Iva 4%"_s, 4.0}, {10, u"Iva 10%"_s, 10.0},
                                        {22, u"Iva 22%"_s, 22.0}};
    for (const auto &r : iva)
        if (!exec(e, u"INSERT INTO iva (codice, descrizione, aliquota) VALUES (?, ?, ?)"_s, r, error))
            return false;
    const QStringList units = {u"pz"_s, u"porz"_s, u"bt"_s, u"lt"_s, u"kg"_s};
    for (int i = 0; i < units.size(); ++i)
        if (!exec(e, u"INSERT INTO unita_misura (id, nome) VALUES (?, ?)"_s, {i + 1, units[i]}, error))
            return false;
    for (const auto &c : Categories) {
        if (!exec(e, u"INSERT INTO tipo_merce (num, tipo, posizione_cassa_facile) VALUES (?, ?, ?)"_s,
                  {c.num, QString::fromUtf8(c.name), c.num}, error)
            || !exec(e, u"INSERT INTO categorie_zona_ristorante (id_categoria, id_zona_ristorante) VALUES (?, ?)"_s,
                     {c.num, c.zone}, error))
            return false;
    }
    int code = 101;
    int favourite = 0;
    for (const auto &a : Articles) {
        const bool drink = a.category >= 7;
        const int vat = drink ? 22 : 10;
        const double net = a.price / (1 + vat / 100.0);
        const bool fav = (code % 7) == 0;
        const QList<QVariant> row = {
            code, QString::fromUtf8(a.name), a.category, vat,
            a.price, a.price * 1.10, a.price * 0.90, a.price * 1.20,  // lists A to D with VAT
            net, net * 1.10, net * 0.90, net * 1.20, net, net,        // lists A to F
            a.stock ? 48.0 : 0.0, a.stock ? 0 : -1, drink ? 0 : -1,
            a.price * 0.3, a.price * 0.32, QString(u"F-"_s + QString::number(code)),
            a.stock ? 3 : (a.category == 7 || a.category == 8 ? 1 : 2),
            fav ? -1 : 0, fav ? ++favourite : 0, -1, -1, 0};
        QList<QVariant> rounded;
        for (const auto &v : row)
            rounded.append(v.typeId() == QMetaType::Double ? QVariant(Currency::fromDouble(v.toDouble())
                                                                          .roundedTo(2).toDouble())
                                                           : v);
        if (!exec(e,
                  u"INSERT INTO magazzino (codice, descrizione, id_tipo_merce, codice_iva, listino_a_ivato,"
                  " listino_b_ivato, listino_c_ivato, listino_d_ivato, listino_a, listino_b, listino_c, listino_d,"
                  " listino_e, listino_f, giacenza, articolo_restaurant, articolo_alimentare, costo_medio,"
                  " ultimo_prezzo, cod_art_forn, id_unita_misura, preferito, posizione_preferito, in_shop_screen,"
                  " visibile_shop_screen, cancellato) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                  " ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                  rounded, error))
            return false;
        ++code;
    }
    int varId = 1;
    for (const auto &v : Variations) {
        if (!exec(e, u"INSERT INTO variazioni_comande (id_variazione, descrizione, prezzo) VALUES (?, ?, ?)"_s,
                  {varId, QString::fromUtf8(v.name), v.price}, error))
            return false;
        for (int c : v.categories)
            if (c > 0 && !exec(e, u"INSERT INTO variazioni_comande_categorie (id_variazione, id_tipo_merce)"
                                  " VALUES (?, ?)"_s,
                               {varId, c}, error))
                return false;
        ++varId;
    }
    const QList<QList<QVariant>> people = {
        {1, u"Marco"_s, u"Bianchi"_s, u"Marco"_s, -1, 0, u"1111"_s, -1, -1},
        {2, u"Giulia"_s, u"Russo"_s, u"Giulia"_s, -1, 0, u"2222"_s, 0, 0},
        {3, u"Luca"_s, u"Ferrari"_s, u"Luca"_s, -1, 0, u"3333"_s, 0, 0},
        {4, u"Sara"_s, u"Esposito"_s, u"Sara"_s, -1, 0, u"4444"_s, -1, 0},
        {5, u"Paolo"_s, u"Conti"_s, u"Paolo"_s, -1, -1, u"5555"_s, 0, 0},   // a former waiter
        {100, u"Fornitore"_s, u"Bevande Srl"_s, u""_s, 0, 0, u""_s, 0, 0}, // a supplier
    };
    for (const auto &p : people)
        if (!exec(e, u"INSERT INTO clfn (codice, nome, cognome, nickname, operatore, cancellato, pwd_nano,"
                     " gestione_tutti_tavoli, abilita_storno) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                  p, error))
            return false;
    for (int t = 1; t <= 20; ++t)
        if (!exec(e, u"INSERT INTO tavoli (numero_tavolo, coperti) VALUES (?, ?)"_s, {t, t <= 12 ? 4 : 2}, error))
            return false;
    // Two reservations around the time the demo is made: one in half an hour, one this evening.
    const QDateTime now = tipi::now();
    const double inHalfHour = std::floor(tipi::momentOf(now.addSecs(30 * 60)) / 60.0) * 60.0;
    const double evening = tipi::dayNumber(now.date()) * 86400.0 + 21 * 3600.0;
    const QList<QList<QVariant>> bookings = {{1, inHalfHour, u"Rossi"_s, 4, 7}, {2, evening, u"Verdi"_s, 6, 12}};
    for (const auto &b : bookings) {
        if (!exec(e, u"INSERT INTO prenotazioni (id_prenotazione, data_ora, nome, persone) VALUES (?, ?, ?, ?)"_s,
                  b.mid(0, 4), error)
            || !exec(e, u"INSERT INTO tavoli_prenotati (id_prenotazione, numero_tavolo) VALUES (?, ?)"_s,
                     {b[0], b[4]}, error))
            return false;
    }
    const QList<QList<QVariant>> longs = {{u"palmare_configurato"_s, 1}, {u"tipologia_coperto"_s, 1},
                                          {u"minuti_avviso_prenotazione"_s, 60}, {u"listino_pranzo"_s, 0},
                                          {u"stampa_preconto_sintetico"_s, 0}};
    for (const auto &l : longs)
        if (!exec(e, u"INSERT INTO var_long (name, value) VALUES (?, ?)"_s, l, error))
            return false;
    const QList<QList<QVariant>> strs = {{u"coperto_somma"_s, u"2,00"_s}, {u"coperto_percentuale"_s, u"10"_s},
                                         // Opening 10:00 and closing 02:00 as the back office stores
                                         // them: seconds that carry one day (86400 + the hours).
                                         {u"ora_apertura_attivita"_s, u"122400"_s},
                                         {u"ora_chiusura_attivita"_s, u"93600"_s}, {u"com_nano"_s, u"COM1"_s}};
    for (const auto &s : strs)
        if (!exec(e, u"INSERT INTO var_str (name, value) VALUES (?, ?)"_s, s, error))
            return false;
    return true;
}

// PostgreSQL's spelling of a schema statement: counters are sequences, numbers are 64-bit
// integers and doubles (booleans stay -1/0 integers, so the legacy comparisons hold), and text that
// compares without regard to case is citext.
QString postgresStatement(const char *sqlite)
{
    QString s = QString::fromUtf8(sqlite);
    static const QList<QPair<QRegularExpression, QString>> rules = {
        {QRegularExpression(u"\\bINTEGER PRIMARY KEY AUTOINCREMENT\\b"_s), u"bigserial PRIMARY KEY"_s},
        {QRegularExpression(u"\\bTEXT COLLATE NOCASE\\b"_s), u"citext"_s},
        {QRegularExpression(u"\\b(INTEGER|BOOLEAN)\\b"_s), u"bigint"_s},
        {QRegularExpression(u"\\b(REAL|CURRENCY)\\b"_s), u"double precision"_s},
        {QRegularExpression(u"\\bTEXT\\b"_s), u"text"_s},
    };
    for (const auto &[re, to] : rules)
        s.replace(re, to);
    return s;
}

// Moves every counter past the keys already stored (after rows were written with their keys).
bool advanceCountersOf(DbEngine &e, QString *error)
{
    for (const QString &name : e.tableNames()) {
        const TableInfo *t = e.table(name);
        if (!t || t->counter.isEmpty())
            continue;
        qint64 n = 0;
        ResultSet rs;
        const QString max = u"(SELECT coalesce(max(\""_s + t->counter + u"\"), 0) FROM \""_s + t->name + u"\")"_s;
        const bool ok = e.kind() == DbEngine::Kind::Postgres
            ? e.runNative(u"SELECT setval(?::regclass, greatest("_s + max + u", 1), "_s + max + u" > 0)"_s,
                          {t->sequence}, &rs, &n)
            : e.runNative(u"UPDATE sqlite_sequence SET seq = max(seq, "_s + max + u") WHERE name = ?"_s, {t->name},
                          nullptr, &n);
        if (!ok) {
            *error = e.lastError();
            return false;
        }
    }
    return true;
}

bool createOn(DbEngine &e, bool demo, QString *error)
{
    const bool pg = e.kind() == DbEngine::Kind::Postgres;
    if (pg && !e.tableNames().isEmpty()) {
        *error = u"Il database contiene già delle tabelle: "_s + e.tableNames().join(u", "_s);
        return false;
    }
    if (!e.beginWrite()) {
        *error = e.lastError();
        return false;
    }
    if (pg && !exec(e, u"CREATE EXTENSION IF NOT EXISTS citext"_s, {}, error)) {
        e.rollback();
        return false;
    }
    for (const char *const *s = Ddl; *s; ++s)
        if (!exec(e, pg ? postgresStatement(*s) : QString::fromUtf8(*s), {}, error)) {
            e.rollback();
            return false;
        }
    e.invalidateCatalogue();
    if (demo && (!fillDemo(e, error) || !advanceCountersOf(e, error))) {
        e.rollback();
        return false;
    }
    if (!e.commit()) {
        *error = e.lastError();
        return false;
    }
    return true;
}

} // namespace

QStringList tables()
{
    QStringList out;
    static const QRegularExpression create(u"^CREATE TABLE (\\w+)"_s);
    for (const char *const *s = Ddl; *s; ++s) {
        const auto m = create.match(QString::fromUtf8(*s));
        if (m.hasMatch())
            out.append(m.captured(1));
    }
    return out;
}

bool advanceCounters(DbEngine &engine, QString *error)
{
    return advanceCountersOf(engine, error);
}

const char *const *statements()
{
    return Ddl;
}

bool createDatabase(const QString &path, bool demo, QString *error)
{
    if (PgEngine::isUri(path)) {
        auto engine = PgEngine::open(path, error);
        return engine && createOn(*engine, demo, error);
    }
    if (QFileInfo::exists(path)) {
        *error = u"Il file esiste già: "_s + path;
        return false;
    }
    auto engine = SqliteEngine::open(path, true, error);
    if (!engine)
        return false;
    return createOn(*engine, demo, error);
}

} // namespace schema
