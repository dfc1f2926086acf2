// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeLink.h"
#include "OperatorUi.h"
#include "OrderRecorder.h"
#include "TestSupport.h"
#include "modPlikoServer.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Demo articles used here: 141 still water and 145 draught beer (stock articles of the bar),
// 111 carbonara and 126 margherita (restaurant dishes), variation 2 "Extra mozzarella" (1,50).
class Orders : public ::testing::TestWithParam<Engine>
{
protected:
    Orders() : helpers(tdb.db()), recorder(tdb.db(), helpers, link, &ui, &printing)
    {
        printing.link = &link;
        if (tdb.unavailable().isEmpty())
            tdb.exec(u"UPDATE magazzino SET giacenza = 10, giacenza_comanda = 0 WHERE not articolo_restaurant"_s);
    }
    // A whole real number reads "2.0" in SQLite's text and "2" in PostgreSQL's: compared as "2".
    QString scalar(const QString &sql) { return wholeReals(tdb.scalar(sql)); }
    bool send(const QString &text) { return recorder.salvaComanda(text, 2, false, false); }

    void SetUp() override { PLIKO_SKIP_WITHOUT(tdb); }

    RegionalGuard guard;
    TestDatabase tdb{true, GetParam()};
    modPlikoServer helpers;
    FakeLink link;
    OperatorUi ui;
    FakePrinting printing;
    OrderRecorder recorder;
};

const QString Header = u"3919435200|12,13|4|2|8,00|"_s;

} // namespace

TEST_P(Orders, AnOrderIsRecordedWithItsTablesLinesAndVariationsThenPrinted)
{
    // Lines another program left under the key the new order gets (1): their stock and their
    // variations go with them, as for an order sent again.
    tdb.exec(u"INSERT INTO merce_comande (id_merce_comanda, id_comanda, id_articolo, quantita) VALUES (900, 1, 141, 5)"_s);
    tdb.exec(u"INSERT INTO merce_comande_variazioni (id_merce_comanda, descrizione) VALUES (900, 'Orfana')"_s);
    tdb.exec(u"UPDATE magazzino SET giacenza_comanda = 5 WHERE codice = 141"_s);
    ASSERT_TRUE(send(Header + u"41,50;M|141|2|2,50|1|Acqua|0|0;M|126|2|7,00|2|Margherita|0|0;V|2|2;"
                              "M|111|1|11,00|2|Carbonara|0|0;"_s));
    EXPECT_EQ(link.replies, QStringList{u"ComandaOK|\r"_s});
    EXPECT_EQ(scalar(u"SELECT count(*) FROM comande"_s), u"1"_s);
    EXPECT_EQ(scalar(u"SELECT coperti & '/' & costo_coperti & '/' & totale & '/' & id_operatore & '/' & stato"
                     " FROM comande"_s),
              u"4/8/33.5/2/0"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM tavoli_occupati WHERE numero_tavolo IN (12, 13)"_s), u"2"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande WHERE id_comanda = 1"_s), u"3"_s);
    EXPECT_EQ(scalar(u"SELECT prezzo & '/' & totale FROM merce_comande WHERE id_articolo = 141"_s), u"2.5/5"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande_variazioni"_s), u"1"_s);
    EXPECT_EQ(scalar(u"SELECT descrizione & '|' & quantita & '|' & maggiorazione FROM merce_comande_variazioni"_s),
              u"Extra mozzarella|2|1.5"_s);
    EXPECT_EQ(scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 141"_s), u"2"_s);
    // The tickets come after the handheld has its reply and has gone, with the table list.
    EXPECT_EQ(link.events.value(0), u"reply ComandaOK|\r"_s);
    EXPECT_EQ(link.events.value(1), u"closed"_s);
    EXPECT_TRUE(link.events.value(2).startsWith(u"print "_s));
    EXPECT_EQ(printing.printed, QStringList{u"comanda 1 12,13"_s});
}

TEST_P(Orders, TheSameOrderSentTwiceIsStoredOnceAndCommitsStockOnce)
{
    const QString text = Header + u"41,50;M|141|3|2,50|1|Acqua|0|0;M|126|1|7,00|2|Margherita|1|1;V|2|1;"_s;
    ASSERT_TRUE(send(text));
    const QString firstKeys = scalar(u"SELECT min(id_merce_comanda) FROM merce_comande"_s);
    ASSERT_TRUE(send(text));
    EXPECT_EQ(link.replies, (QStringList{u"ComandaOK|\r"_s, u"ComandaOK|\r"_s}));
    EXPECT_EQ(scalar(u"SELECT count(*) FROM comande"_s), u"1"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM tavoli_occupati"_s), u"2"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande"_s), u"2"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande_variazioni"_s), u"1"_s);
    EXPECT_NE(scalar(u"SELECT min(id_merce_comanda) FROM merce_comande"_s), firstKeys);
    EXPECT_EQ(scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 141"_s), u"3"_s);
    // The printed state the handheld sends back survives the replacement.
    EXPECT_EQ(scalar(u"SELECT gia_stampata & '/' & qta_stampata FROM merce_comande WHERE id_articolo = 126"_s),
              u"1/1"_s);
}

// The database ends the order's transaction for a conflict with another writer (here a deadlock
// raised by a trigger on the first line written, as the back office could cause): the order is
// recorded again whole and confirmed once; a conflict on every attempt confirms nothing.
TEST_P(Orders, AnOrderEndedByAConflictWithAnotherWriterIsRecordedAgainWholeAndConfirmedOnce)
{
    if (GetParam() != Engine::Postgres)
        GTEST_SKIP() << "a conflict that ends the transaction is PostgreSQL's";
    auto conflicts = [&](int times) {
        for (const QString &sql : QStringList{
                 u"DROP TRIGGER IF EXISTS conflitto ON merce_comande"_s, u"DROP SEQUENCE IF EXISTS conflitto_seq"_s,
              u"CREATE SEQUENCE conflitto_seq"_s,
              u"CREATE OR REPLACE FUNCTION conflitto() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
              "IF nextval('conflitto_seq') <= "_s + QString::number(times) + u" THEN RAISE EXCEPTION 'conflitto' "
              "USING ERRCODE = '40P01'; END IF; RETURN NEW; END $$",
              u"CREATE TRIGGER conflitto BEFORE INSERT ON merce_comande FOR EACH ROW EXECUTE FUNCTION conflitto()"_s}) {
            qint64 n = 0;
            ASSERT_TRUE(tdb.db().engine()->runNative(sql, {}, nullptr, &n)) << tdb.db().engine()->lastError().toStdString();
        }
    };
    conflicts(1);
    ASSERT_TRUE(send(Header + u"41,50;M|141|3|2,50|1|Acqua|0|0;M|126|1|7,00|2|Margherita|0|0;V|2|1;"_s));
    EXPECT_EQ(link.replies, QStringList{u"ComandaOK|\r"_s});
    EXPECT_EQ(scalar(u"SELECT count(*) FROM comande"_s), u"1"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande"_s), u"2"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande_variazioni"_s), u"1"_s);
    EXPECT_EQ(scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 141"_s), u"3"_s);

    conflicts(100);
    link.replies.clear();
    EXPECT_FALSE(send(u"3919435260|5|2|2|0|"_s + u"3,50;M|145|1|3,50|1|Birra|0|0;"_s));
    EXPECT_TRUE(link.replies.isEmpty());
    EXPECT_EQ(scalar(u"SELECT count(*) FROM comande"_s), u"1"_s);
    EXPECT_EQ(scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 145"_s), u"0"_s);
}

TEST_P(Orders, StockIsCheckedOverAllLinesOfAnArticleAndWhatRanShortIsLeftOutWithItsVariations)
{
    tdb.exec(u"UPDATE magazzino SET giacenza = 3 WHERE codice = 145"_s);
    tdb.exec(u"UPDATE magazzino SET giacenza = 2.5, giacenza_comanda = 0 WHERE codice = 141"_s);
    ASSERT_TRUE(send(Header + u"0;M|145|2|5,00|1|Birra|0|0;M|145|2|5,00|2|Birra|0|0;V|13|1;M|141|3|2,50|1|Acqua|0|0;"
                              "M|111|40|11,00|1|Carbonara|0|0;"_s));
    EXPECT_EQ(link.replies, QStringList{u"NonDisponibile|145:1,141:2,5\r"_s});
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande WHERE id_articolo = 145"_s), u"1"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande_variazioni"_s), u"0"_s);
    EXPECT_EQ(scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 145"_s), u"2"_s);
    // Dishes have no stock: they always pass and commit none.
    EXPECT_EQ(scalar(u"SELECT quantita FROM merce_comande WHERE id_articolo = 111"_s), u"40"_s);
    EXPECT_EQ(scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 111"_s), u"0"_s);
}

TEST_P(Orders, LineColumnsComeFromTheArticleAtTheTimeOfTheOrder)
{
    tdb.exec(u"UPDATE magazzino SET codice_iva = 22, articolo_alimentare = true, costo_medio = 1.1,"
             " ultimo_prezzo = 1.2, cod_art_forn = 'F-9', descrizione = '  Pane  ', id_unita_misura = 2"
             " WHERE codice = 111"_s);
    tdb.exec(u"UPDATE magazzino SET codice_iva = 10, articolo_alimentare = false WHERE codice = 126"_s);
    tdb.exec(u"UPDATE magazzino SET codice_iva = 17 WHERE codice = 101"_s); // no such VAT code
    ASSERT_TRUE(send(Header + u"0;M|111|1|12,20|1|x|0|0;M|126|1|12,20|1|x|0|0;M|101|2|3,50|1|x|0|0;"_s));
    EXPECT_EQ(scalar(u"SELECT prezzo_non_ivato & '|' & iva & '|' & descrizione & '|' & id_lotto & '|' & unita_misura"
                     " & '|' & codice_articolo_fornitore & '|' & costo_medio FROM merce_comande WHERE id_articolo ="
                     " 111"_s),
              u"10|22|Pane|-200|porz|F-9|1.1"_s);
    EXPECT_EQ(scalar(u"SELECT prezzo_non_ivato FROM merce_comande WHERE id_articolo = 126"_s), u"11,09"_s);
    EXPECT_EQ(scalar(u"SELECT prezzo_non_ivato FROM merce_comande WHERE id_articolo = 101"_s), u"3,5"_s);
    EXPECT_EQ(scalar(u"SELECT totale FROM merce_comande WHERE id_articolo = 101"_s), u"7"_s);
    EXPECT_EQ(scalar(u"SELECT id_lotto FROM merce_comande WHERE id_articolo = 126"_s), u"0"_s);
}

TEST_P(Orders, AnOrderTextWithoutItsFinalSemicolonLosesItsLastRecord)
{
    ASSERT_TRUE(send(Header + u"0;M|111|1|11,00|1|Carbonara|0|0;M|126|1|7,00|1|Margherita|0|0"_s));
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande"_s), u"1"_s);
    EXPECT_EQ(link.replies, QStringList{u"ComandaOK|\r"_s});
}

TEST_P(Orders, AMalformedOrderIsRejectedBeforeAnythingIsWritten)
{
    const QStringList bad = {
        u""_s,
        u"3919435200|12|4|2|8,00;"_s,                       // header with five fields
        u"3919435200||4|2|8,00|30,00;M|111|1|11|1|x|0|0;"_s, // no table
        u"3919435200|12,|4|2|8,00|30,00;"_s,                 // an empty table number
        u"3919435200|dodici|4|2|8,00|30,00;"_s,
        Header + u"0;M|111|1|11,00|1|x|0;"_s,                // a line with seven fields
        Header + u"0;M|111|1|11,00|1|x|0|0;V|2;"_s,          // a variation with two fields
    };
    for (const QString &text : bad)
        EXPECT_FALSE(send(text)) << text.toStdString();
    EXPECT_TRUE(link.replies.isEmpty());
    EXPECT_EQ(scalar(u"SELECT count(*) FROM comande"_s), u"0"_s);
    EXPECT_FALSE(tdb.db().inTransaction());
}

TEST_P(Orders, ADishWithAnUnknownArticleOrAStaleVariationIsLeftOutAndReportedNotSilentlyChanged)
{
    // A handheld with a stale menu: an article and an allergy note the catalogue no longer has.
    ASSERT_TRUE(send(Header + u"0;M|99999|1|5,00|1|Fantasma|0|0;V|2|1;M|111|1|11,00|1|Carbonara|0|0;V|777|1;V|2|1;"
                              "M|126|1|7,00|1|Margherita|0|0;V|2|1;"_s));
    EXPECT_EQ(link.replies, QStringList{u"NonDisponibile|99999:0,111:0\r"_s});
    // The margherita with its known extra is recorded; the carbonara is not, neither without its note.
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande"_s), u"1"_s);
    EXPECT_EQ(scalar(u"SELECT id_articolo FROM merce_comande"_s), u"126"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande_variazioni"_s), u"1"_s);
}

TEST_P(Orders, QuantitiesAndPricesThatAreNoDishAreLeftOutAndReportedAsNoneLeft)
{
    struct Case
    {
        const char *what;
        QString line;      // the water line as sent: quantity|price|course|text|already printed|printed qty
        bool recorded;
        QString quantita;  // stored quantity when recorded
    };
    const Case cases[] = {
        {"two bottles", u"2|2,50|1|Acqua|0|0"_s, true, u"2"_s},
        {"the last ten bottles", u"10|2,50|1|Acqua|0|0"_s, true, u"10"_s},
        {"a void of one bottle", u"-1|2,50|1|Acqua|0|0"_s, true, u"-1"_s},
        {"half a bottle", u"0,5|2,50|1|Acqua|0|0"_s, true, u"0,5"_s},
        {"a free bottle with a blank price", u"1||1|Acqua|0|0"_s, true, u"1"_s},
        {"quantity not a number", u"nan|2,50|1|Acqua|0|0"_s, false, {}},
        {"quantity infinite", u"inf|2,50|1|Acqua|0|0"_s, false, {}},
        {"quantity beyond any dish", u"1e308|2,50|1|Acqua|0|0"_s, false, {}},
        {"quantity as text", u"due|2,50|1|Acqua|0|0"_s, false, {}},
        {"quantity missing", u"|2,50|1|Acqua|0|0"_s, false, {}},
        {"void beyond any dish", u"-100000|2,50|1|Acqua|0|0"_s, false, {}},
        {"price beyond any dish", u"1|100000|1|Acqua|0|0"_s, false, {}},
        {"price as text", u"1|gratis|1|Acqua|0|0"_s, false, {}},
        {"printed beyond 32 bits", u"2|2,50|1|Acqua|0|2147483648"_s, false, {}},
        {"printed more than ordered", u"2|2,50|1|Acqua|0|3"_s, false, {}},
        {"printed below nothing", u"2|2,50|1|Acqua|0|-1"_s, false, {}},
    };
    for (const Case &c : cases) {
        tdb.exec(u"DELETE FROM merce_comande"_s);
        tdb.exec(u"UPDATE magazzino SET giacenza_comanda = 0"_s);
        link.replies.clear();
        ASSERT_TRUE(send(Header + u"0;M|141|"_s + c.line + u";M|126|1|7,00|1|Margherita|0|0;"_s)) << c.what;
        EXPECT_EQ(link.replies, QStringList{c.recorded ? u"ComandaOK|\r"_s : u"NonDisponibile|141:0\r"_s}) << c.what;
        EXPECT_EQ(scalar(u"SELECT quantita FROM merce_comande WHERE id_articolo = 141"_s), c.quantita) << c.what;
        // What is not recorded commits no stock; the rest of the order is recorded as sent.
        EXPECT_EQ(scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 141"_s),
                  c.recorded ? c.quantita : u"0"_s)
            << c.what;
        EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande WHERE id_articolo = 126"_s), u"1"_s) << c.what;
    }
}

TEST_P(Orders, AnOrderBeyondWhatARoomCanHoldIsRejectedWhole)
{
    QStringList tables;
    for (int i = 1; i <= 201; ++i)
        tables.append(QString::number(i));
    QString lines;
    for (int i = 0; i < 1001; ++i)
        lines += u"M|111|1|11,00|1|Carbonara|0|0;V|2|1;"_s;
    const struct
    {
        const char *what;
        QString text;
        bool recorded;
    } cases[] = {
        {"201 tables joined", u"3919435200|"_s + tables.join(u',') + u"|4|2|8,00|0;M|141|1|2,50|1|Acqua|0|0;"_s, false},
        {"1,001 dishes each with an extra", Header + u"0;"_s + lines, false},
        {"1,000 dishes each with an extra", Header + u"0;"_s + lines.left(lines.size() - 36), true},
    };
    for (const auto &c : cases) {
        link.replies.clear();
        EXPECT_EQ(send(c.text), c.recorded) << c.what;
        EXPECT_EQ(link.replies.isEmpty(), !c.recorded) << c.what;
    }
    EXPECT_EQ(scalar(u"SELECT count(*) FROM tavoli_occupati WHERE numero_tavolo = 201"_s), u"0"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande"_s), u"1000"_s);
}

TEST_P(Orders, AFailureHalfWayKeepsThePreviousOrderWholeAndSendsNoConfirmation)
{
    ASSERT_TRUE(send(Header + u"0;M|141|2|2,50|1|Acqua|0|0;M|126|1|7,00|1|Margherita|0|0;V|2|1;"_s));
    link.replies.clear();
    // The variations table disappears under the server: the resend cannot be written whole.
    tdb.exec(u"ALTER TABLE merce_comande_variazioni RENAME TO altro_nome"_s);
    EXPECT_FALSE(send(Header + u"0;M|141|5|2,50|1|Acqua|0|0;M|126|1|7,00|1|Margherita|0|0;V|2|1;"_s));
    EXPECT_TRUE(link.replies.isEmpty());
    EXPECT_TRUE(ui.messages().contains(u"Errore nel salvataggio "_s));
    EXPECT_FALSE(tdb.db().inTransaction());
    tdb.exec(u"ALTER TABLE altro_nome RENAME TO merce_comande_variazioni"_s);
    EXPECT_EQ(scalar(u"SELECT quantita FROM merce_comande WHERE id_articolo = 141"_s), u"2"_s);
    EXPECT_EQ(scalar(u"SELECT giacenza_comanda FROM magazzino WHERE codice = 141"_s), u"2"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande_variazioni"_s), u"1"_s);
    EXPECT_EQ(printing.printed.size(), 1);
}

TEST_P(Orders, WithoutTicketPrintersTheLinesAreStoredPrintedWithTheOrder)
{
    // Acqua is new, Margherita came back from the handheld printed once of two, Carbonara printed
    // in full; a beer and a half is new too (its mark is the engine's own conversion of 1.5).
    const QString text = Header + u"0;M|141|2|2,50|1|Acqua|0|0;M|126|2|7,00|2|Margherita|0|1;"
                                  "M|111|3|11,00|2|Carbonara|0|3;M|145|1,5|3,50|1|Birra|0|0;"_s;
    auto printed = [&] {
        QStringList out;
        auto rs = tdb.db().openSnapshot(u"SELECT id_articolo, qta_stampata FROM merce_comande WHERE id_articolo <> 145"
                                        " ORDER BY id_articolo"_s);
        for (; rs && !rs->isEOF(); rs->moveNext())
            out << rs->value(0).toString() + u':' + rs->value(1).toString();
        return out.join(u' ');
    };
    // Once the handheld has its reply: article:qta_stampata, marked by the order's own commit without
    // ticket printers, left to the tickets with them.
    for (const auto &[senzaStampanti, stored] : {std::pair{true, u"111:3 126:2 141:2"_s}, {false, u"111:3 126:1 141:0"_s}}) {
        SCOPED_TRACE(senzaStampanti ? "no ticket printer" : "ticket printers");
        printing.senzaStampanti = senzaStampanti;
        link.replies.clear();
        ASSERT_TRUE(send(text));
        EXPECT_EQ(link.replies, QStringList{u"ComandaOK|\r"_s});
        EXPECT_EQ(printed(), stored);
        EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande WHERE qta_stampata < quantita"_s),
                  senzaStampanti ? u"0"_s : u"3"_s);
        EXPECT_EQ(printing.printed.last(), u"comanda 1 12,13"_s); // the tickets are still asked for
    }
}

TEST_P(Orders, ABanquetOfHundredsOfDishesTakesEachDishFromItsOwnArticle)
{
    // 450 dishes 1001-1450 priced by their code; 1451 is unknown; 1001 comes twice.
    tdb.exec(u"WITH RECURSIVE n(c) AS (SELECT 1001 UNION ALL SELECT c + 1 FROM n WHERE c < 1450)"
             " INSERT INTO magazzino (codice, descrizione, codice_iva, articolo_restaurant, costo_medio, ultimo_prezzo,"
             " cod_art_forn, id_unita_misura) SELECT c, 'Piatto ' & c, 10, true, c / 100.0, c / 10.0, 'F' & c, 1"
             " FROM n"_s);
    QString text = Header + u"0;"_s;
    for (int c = 1001; c <= 1451; ++c)
        text += u"M|"_s + QString::number(c) + u"|1|5,00|1|x|0|0;"_s;
    text += u"M|1001|2|5,00|2|x|0|0;"_s;
    ASSERT_TRUE(send(text));
    EXPECT_EQ(link.replies, QStringList{u"NonDisponibile|1451:0\r"_s});
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande"_s), u"451"_s);
    // Every line carries its own article's columns, across the whole order.
    EXPECT_EQ(scalar(u"SELECT count(*) FROM merce_comande WHERE descrizione <> 'Piatto ' & id_articolo"
                     " OR codice_articolo_fornitore <> 'F' & id_articolo OR abs(costo_medio - id_articolo / 100.0)"
                     " > 0.001 OR abs(ultimo_prezzo - id_articolo / 10.0) > 0.001"_s),
              u"0"_s);
    QStringList lines;
    auto rs = tdb.db().openSnapshot(u"SELECT quantita, turno FROM merce_comande WHERE id_articolo = 1001 ORDER BY turno"_s);
    for (; rs && !rs->isEOF(); rs->moveNext())
        lines << rs->value(0).toString() + u'/' + rs->value(1).toString();
    EXPECT_EQ(lines, (QStringList{u"1/1"_s, u"2/2"_s}));
}

INSTANTIATE_TEST_SUITE_P(Engines, Orders, ::testing::ValuesIn(allEngines()), engineName);
