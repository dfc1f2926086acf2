// SPDX-License-Identifier: GPL-3.0-or-later
// The shapes of statement the server writes in the legacy dialect (joins, subqueries, truth and text
// rules), run on a small real database; plain one-table reads run in the tests of their handlers.
#include "SqliteEngine.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Rows of one table, each the values of `columns` in order.
void insert(TestDatabase &tdb, const char *table, const char *columns, std::initializer_list<const char *> rows)
{
    for (const char *r : rows)
        tdb.exec(u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(QLatin1StringView(table), QLatin1StringView(columns),
                                                          QString::fromUtf8(r)));
}

// Orders 1 and 2 are open today (2024-03-15 from noon), order 3 is closed.
void fill(TestDatabase &tdb)
{
    insert(tdb, "tipo_merce", "num, tipo, posizione_cassa_facile", {"1, 'Primi', 2", "7, 'Bevande', 1"});
    insert(tdb, "categorie_zona_ristorante", "id_categoria, id_zona_ristorante", {"1, 2", "7, 4"});
    insert(tdb, "magazzino", "codice, descrizione, id_tipo_merce, codice_iva, listino_a_ivato, giacenza, giacenza_comanda,"
           " articolo_restaurant, in_shop_screen, visibile_shop_screen, cancellato",
           {"1, 'Birra', 7, 22, 5, 10, 5, false, true, true, false",
            "2, 'Carbonara', 1, 10, 11, 0, 0, true, true, true, false",
            "3, 'Vino', 7, 22, 20, 5, 1, false, true, true, true"});
    insert(tdb, "clfn", "codice, nome, cognome, nickname, operatore, cancellato",
           {"1, 'Marco', 'B', 'Marco', true, false", "2, 'Anna', 'C', 'anna', true, false",
            "3, 'Ex', 'D', 'ex', true, true"});
    insert(tdb, "comande", "id_comanda, inizio, id_operatore, stato, coperti, costo_coperti",
           {"1, 3919435200, 1, 0, 4, 8", "2, 3919438800, 2, 0, 0, 0", "3, 3919435200, 1, 1, 0, 0"});
    insert(tdb, "tavoli_occupati", "numero_tavolo, id_comanda", {"4, 1", "5, 1", "7, 2"});
    insert(tdb, "merce_comande", "id_merce_comanda, id_comanda, id_articolo, descrizione, quantita, turno, qta_stampata,"
           " totale", {"10, 1, 1, 'Birra', 2, 1, 0, 10", "11, 1, 1, 'Birra', 3, 2, 1, 15",
                       "12, 1, 2, 'Carbonara', 1, 1, 0, 11", "13, 2, 3, 'Vino', 1, 1, 0, 20"});
    insert(tdb, "variazioni_comande", "id_variazione, descrizione, prezzo", {"1, 'Extra', 1.5"});
    insert(tdb, "variazioni_comande_categorie", "id_variazione, id_tipo_merce, id_nano", {"1, 1, 0"});
    insert(tdb, "merce_comande_variazioni", "id_merce_comanda, id_variazione, quantita, descrizione, maggiorazione",
           {"12, 1, 1, 'Extra', 1.5", "12, -1, 1, 'poco sale', 0", "13, 1, 1, 'Extra', 1.5"});
    insert(tdb, "tavoli", "numero_tavolo, coperti", {"4, 4"});
    insert(tdb, "prenotazioni", "id_prenotazione, data_ora", {"1, 3919437000"});
    insert(tdb, "tavoli_prenotati", "id_prenotazione, numero_tavolo", {"1, 9"});
    insert(tdb, "var_long", "name, value", {"'tipologia_coperto', 1", "'minuti_avviso_prenotazione', 30"});
    insert(tdb, "var_str", "name, value", {"'coperto_somma', '2,00'", "'ora_apertura_attivita', '10:00'"});
}

// A query and what it returns: the number of rows and the first row, fields joined by "|".
struct QueryCase
{
    const char *sql;
    int rows;
    const char *firstRow;
};

const QueryCase Queries[] = {
    {"SELECT data_ora FROM tavoli_prenotati, prenotazioni WHERE 3919433400 <= data_ora AND data_ora<= 3919438800"
     " AND tavoli_prenotati.id_prenotazione = prenotazioni.id_prenotazione AND numero_tavolo = 9", 1, "3919437000"},
    {"SELECT codice, descrizione, codice_iva, listino_a_ivato, listino_b_ivato, listino_c_ivato, listino_d_ivato,"
     " giacenza, articolo_restaurant, id_tipo_merce, preferito, posizione_preferito FROM magazzino WHERE in_shop_screen"
     " AND visibile_shop_screen AND not cancellato  ", 2, "1|Birra|22|5|0|0|0|10|0|7|0|0"},
    {"SELECT DISTINCT id_tipo_merce, tipo, tipo_merce.posizione_cassa_facile                    FROM magazzino,"
     " tipo_merce                    WHERE in_shop_screen                          AND NOT cancellato"
     "                          AND magazzino.id_tipo_merce = tipo_merce.num                    ORDER BY"
     " tipo_merce.posizione_cassa_facile, tipo ", 2, "7|Bevande|1"},
    {"SELECT name, value FROM var_str WHERE name IN('coperto_somma','coperto_percentuale', 'ora_apertura_attivita',"
     " 'ora_chiusura_attivita')", 2, nullptr},
    {"SELECT comande.id_comanda, numero_tavolo, inizio, ultima_ordinazione, coperti, data, pre_conto FROM comande,"
     " tavoli_occupati WHERE comande.id_comanda = tavoli_occupati.id_comanda AND inizio BETWEEN 3919400000 AND"
     " 3919500000 AND stato = 0 AND id_operatore = 1", 2, "1|4|3919435200|0|4|0|0"},
    {"SELECT codice FROM magazzino WHERE descrizione NOT LIKE 'b*' ORDER BY codice", 2, "2"},
    {"SELECT (giacenza-giacenza_comanda) as disponibile FROM magazzino WHERE not articolo_restaurant AND codice = 1",
     1, "5"},
    {"SELECT (giacenza-giacenza_comanda) as disponibile FROM magazzino WHERE not articolo_restaurant AND codice = 2",
     0, nullptr},
    {" SELECT nome, cognome, nickname  FROM clfn LEFT JOIN comande ON clfn.codice = comande.id_operatore "
     " WHERE id_comanda = 2", 1, "Anna|C|anna"},
    // Kitchen ticket of the till and of the kitchen zone (parenthesised joins, IN subquery).
    {" SELECT (merce_comande.quantita - merce_comande.qta_stampata) AS quantita, merce_comande.descrizione,"
     " merce_comande.turno, merce_comande.id_merce_comanda, tipo_merce.tipo  FROM (merce_comande INNER JOIN magazzino"
     " ON merce_comande.id_articolo = magazzino.codice) LEFT JOIN tipo_merce ON magazzino.id_tipo_merce ="
     " tipo_merce.num  WHERE gia_stampata = 0 AND (qta_stampata < quantita) AND id_comanda = 1 ORDER BY"
     " merce_comande.turno, tipo_merce.tipo, merce_comande.descrizione", 3, "2|Birra|1|10|Bevande"},
    {" SELECT (merce_comande.quantita - merce_comande.qta_stampata) AS quantita, merce_comande.descrizione,"
     " merce_comande.turno, merce_comande.id_merce_comanda, tipo_merce.tipo  FROM (merce_comande INNER JOIN magazzino"
     " ON merce_comande.id_articolo = magazzino.codice)LEFT JOIN tipo_merce ON magazzino.id_tipo_merce ="
     " tipo_merce.num   WHERE gia_stampata = 0 AND (qta_stampata < quantita)   AND id_comanda = 1   AND"
     " id_tipo_merce IN                  (SELECT id_categoria                   FROM categorie_zona_ristorante"
     "                   WHERE id_zona_ristorante = 2)  ORDER BY merce_comande.turno,tipo_merce.tipo,"
     " merce_comande.descrizione", 1, "1|Carbonara|1|12|Primi"},
    {"SELECT * FROM merce_comande_variazioni WHERE id_variazione <> -1 AND id_merce_comanda = 12 ORDER BY"
     " id_variazione", 1, "12|1|1|Extra|1,5"},
    {"SELECT variazioni_comande.id_variazione, descrizione, prezzo FROM variazioni_comande_categorie,"
     "variazioni_comande WHERE variazioni_comande_categorie.id_variazione = variazioni_comande.id_variazione AND"
     " id_nano = 0", 1, "1|Extra|1,5"},
    {"SELECT COUNT(id_variazione) as tot FROM merce_comande_variazioni WHERE id_variazione = -1 AND id_merce_comanda"
     " IN (SELECT id_merce_comanda FROM merce_comande WHERE id_comanda = 1)", 1, "1"},
    {"SELECT codice, nickname, pwd_nano, gestione_tutti_tavoli, abilita_storno FROM clfn WHERE operatore AND NOT"
     " cancellato", 2, "1|Marco||0|0"},
    // Text compares without regard to case; & concatenates; chr() makes a character; true is -1.
    {"SELECT codice FROM clfn WHERE nickname = 'ANNA'", 1, "2"},
    {"SELECT 'a' & chr(124) & 'b' & 3 AS x, true AS t, false AS f", 1, "a|b3|-1|0"},
};

QString firstRow(Recordset &rs)
{
    QStringList f;
    for (int i = 0; i < rs.fieldCount(); ++i)
        f << tipi::toText(rs.value(i));
    return f.join(u'|');
}

// The small restaurant above in a fresh database, read with the regional settings of the tests.
class LegacySql : public ::testing::TestWithParam<Engine>
{
protected:
    LegacySql()
    {
        if (tdb.unavailable().isEmpty())
            fill(tdb);
    }
    void SetUp() override { PLIKO_SKIP_WITHOUT(tdb); }

    RegionalGuard guard;
    TestDatabase tdb{false, GetParam()};
    clsDatabase &db = tdb.db();
};

} // namespace

TEST_P(LegacySql, EveryQueryOfTheServerReturnsTheRowsItExpects)
{
    for (const QueryCase &q : Queries) {
        const QString sql = QString::fromUtf8(q.sql);
        auto rs = tdb.db().openSnapshot(sql);
        ASSERT_TRUE(rs) << q.sql << ": " << tdb.db().lastErrorText().toStdString();
        EXPECT_EQ(rs->recordCount(), q.rows) << q.sql;
        if (q.firstRow && !rs->isEOF()) {
            EXPECT_EQ(firstRow(*rs), QString::fromUtf8(q.firstRow)) << q.sql;
        }
    }
}

TEST_P(LegacySql, ReleasingAnOrderCountsEveryLineOfTheSameArticle)
{
    // Order 1 has two lines of beer (2 + 3) and a restaurant dish; beer has 5 committed.
    ASSERT_TRUE(db.doQuery(u"UPDATE magazzino, merce_comande SET giacenza_comanda = giacenza_comanda - quantita "
                           "WHERE codice = id_articolo   AND not articolo_restaurant   AND id_comanda = 1"_s));
    EXPECT_EQ(db.lastChanged(), 1);
    EXPECT_EQ(tdb.scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 1"_s), u"0"_s);
    EXPECT_EQ(tdb.scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 2"_s), u"0"_s);
    EXPECT_EQ(tdb.scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 3"_s), u"1"_s);

    ASSERT_TRUE(db.doQuery(u"UPDATE magazzino SET giacenza_comanda = giacenza_comanda + 2.5 WHERE not"
                           " articolo_restaurant AND codice = 1"_s));
    EXPECT_EQ(tdb.scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 1"_s), u"2,5"_s);
}

TEST_P(LegacySql, DeletingAnOrdersLinesTakesTheirVariationsOnly)
{
    ASSERT_TRUE(db.doQuery(u"DELETE merce_comande_variazioni.* FROM merce_comande_variazioni, merce_comande WHERE"
                           " merce_comande_variazioni.id_merce_comanda = merce_comande.id_merce_comanda AND"
                           " id_comanda = 1"_s));
    EXPECT_EQ(db.lastChanged(), 2);
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM merce_comande_variazioni"_s), u"1"_s); // order 2's stays
}

TEST_P(LegacySql, AmountsAndTextsKeepTheirTypesInActionStatements)
{
    ASSERT_TRUE(db.doQuery(u"INSERT INTO tavoli(numero_tavolo, coperti) VALUES(999,2)"_s));
    EXPECT_EQ(tdb.scalar(u"SELECT coperti FROM tavoli WHERE numero_tavolo = 999"_s), u"2"_s);

    // Amounts quoted in the regional form go into numeric columns as numbers.
    ASSERT_TRUE(db.doQuery(u"UPDATE comande SET coperti = 3, costo_coperti = '7,50', totale = '26,4' WHERE"
                           " id_comanda = 2"_s));
    EXPECT_EQ(tdb.scalar(u"SELECT costo_coperti + totale FROM comande WHERE id_comanda = 2"_s), u"33,9"_s);

    // A quoted text stays text even when it looks like a number.
    ASSERT_TRUE(db.doQuery(u"UPDATE clfn SET nickname = '12,5' WHERE codice = 1"_s));
    auto rs = db.openSnapshot(u"SELECT nickname FROM clfn WHERE codice = 1"_s);
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->value(0).typeId(), QMetaType::QString);
    EXPECT_EQ(rs->value(0).toString(), u"12,5"_s);

    // Several texts of one statement each keep their own bytes: accented, empty, and one longer
    // than the engine binds in place, between two that are.
    const QString lungo(9000, u'x');
    ASSERT_TRUE(db.doQuery(u"UPDATE clfn SET nome = 'Zoë', cognome = '"_s + lungo
                           + u"', nickname = 'Ann', pwd_nano = '' WHERE codice = 2"_s));
    rs = db.openSnapshot(u"SELECT nome, cognome, nickname, pwd_nano FROM clfn WHERE codice = 2"_s);
    ASSERT_TRUE(rs);
    EXPECT_EQ(firstRow(*rs), u"Zoë|"_s + lungo + u"|Ann|"_s);
}

TEST_P(LegacySql, StatementsOfOneShapeShareOnePreparedStatementAndTheTextsKeptStayBounded)
{
    clsDatabase &db = tdb.db();
    const auto cliente = [&db](int n) {
        auto rs = db.openSnapshot(u"SELECT codice FROM clfn WHERE codice = 1 OR codice = -"_s + QString::number(n));
        return rs && !rs->isEOF() ? rs->value(0).toInt() : 0;
    };
    const int before = db.engine()->cachedStatements();
    for (int n = 1; n <= 50; ++n)
        EXPECT_EQ(cliente(n), 1);
    EXPECT_EQ(db.engine()->cachedStatements(), before + 1);
    // Past the bound, the oldest text goes for each new one; one gone still runs.
    if (auto *sqlite = dynamic_cast<SqliteEngine *>(db.engine())) {
        for (int n = 51; n <= SqliteEngine::KeptStatements + 50; ++n)
            ASSERT_EQ(cliente(n), 1);
        EXPECT_EQ(sqlite->keptStatements(), SqliteEngine::KeptStatements);
        EXPECT_EQ(cliente(1), 1);
        EXPECT_EQ(sqlite->keptStatements(), SqliteEngine::KeptStatements);
    }
}

TEST_P(LegacySql, AnUnterminatedQuoteIsAnErrorNotACrash)
{
    EXPECT_FALSE(tdb.db().doQuery(u"UPDATE clfn SET nickname = 'aperta WHERE codice = 1"_s));
    EXPECT_EQ(tdb.db().openSnapshot(u"SELECT [codice FROM clfn"_s), nullptr);
    EXPECT_FALSE(tdb.db().doQuery(u"UPDATE , merce_comande SET quantita = 1 WHERE id_comanda = 1"_s));
}

INSTANTIATE_TEST_SUITE_P(Engines, LegacySql, ::testing::ValuesIn(allEngines()), engineName);
