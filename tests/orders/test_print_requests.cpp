// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeLink.h"
#include "PrintRequests.h"
#include "TestSupport.h"
#include "modPlikoServer.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class Requests : public ::testing::TestWithParam<Engine>
{
protected:
    Requests() : helpers(tdb.db()), requests(tdb.db(), helpers, link, printing) { printing.link = &link; }
    // A whole real number reads "2.0" in SQLite's text and "2" in PostgreSQL's: compared as "2".
    QString scalar(const QString &sql) { return wholeReals(tdb.scalar(sql)); }
    void SetUp() override { PLIKO_SKIP_WITHOUT(tdb); }

    RegionalGuard guard;
    TestDatabase tdb{true, GetParam()};
    modPlikoServer helpers;
    FakeLink link;
    FakePrinting printing;
    PrintRequests requests;
};

const QString TransmissionError = u"errore|Si è verificato un errore nella trasmissione\r"_s;

} // namespace

TEST_P(Requests, OccupyingTablesOpensOneEmptyOrderEachTime)
{
    ASSERT_TRUE(requests.occupaTavolo(u"OccupaTavolo|4,5|3919435200|4|8,00|2"_s, 3));
    EXPECT_EQ(link.replies, QStringList{u"OK|\r"_s});
    EXPECT_EQ(scalar(u"SELECT count(*) FROM comande"_s), u"1"_s);
    EXPECT_EQ(scalar(u"SELECT count(DISTINCT id_comanda) & '/' & count(*) FROM tavoli_occupati"_s), u"1/2"_s);
    EXPECT_EQ(scalar(u"SELECT inizio & '/' & id_operatore & '/' & coperti & '/' & costo_coperti FROM comande"_s),
              u"3919435200/2/4/8"_s);
    ASSERT_TRUE(requests.occupaTavolo(u"OccupaTavolo|4|3919435300|2|4,00|3"_s, 3));
    EXPECT_EQ(scalar(u"SELECT count(*) FROM comande"_s), u"2"_s);
}

TEST_P(Requests, AnUnreadableOrFailedOccupationWritesNothingSaysSoAndTheServerGoesOn)
{
    for (const QString &bad : {u"OccupaTavolo|4,5|3919435200|4|8,00"_s, u"OccupaTavolo"_s,
                               u"OccupaTavolo|quattro|3919435200|4|8,00|2"_s, u"OccupaTavolo||3919435200|4|8,00|2"_s}) {
        link.replies.clear();
        EXPECT_FALSE(requests.occupaTavolo(bad, 3)) << bad.toStdString();
        EXPECT_EQ(link.replies, QStringList{TransmissionError});
    }
    // A failure of the database half way rolls back.
    tdb.exec(u"ALTER TABLE tavoli_occupati RENAME TO altro"_s);
    EXPECT_FALSE(requests.occupaTavolo(u"OccupaTavolo|4|3919435200|4|8,00|2"_s, 3));
    EXPECT_EQ(link.replies.last(), TransmissionError);
    EXPECT_FALSE(tdb.db().inTransaction());
    EXPECT_EQ(scalar(u"SELECT count(*) FROM comande"_s), u"0"_s);
}

TEST_P(Requests, APreBillMarksTheOrderThenPrintsAfterTheHandheldHasGone)
{
    ASSERT_TRUE(requests.occupaTavolo(u"OccupaTavolo|4,5|3919435200|4|8,00|2"_s, 3));
    link.events.clear();
    link.replies.clear();
    requests.stampaPreConto(5, 3);
    EXPECT_EQ(link.replies, QStringList{u"OK|\r"_s});
    EXPECT_EQ(scalar(u"SELECT pre_conto FROM comande"_s), u"-1"_s);
    EXPECT_EQ(link.events, (QStringList{u"reply OK|\r"_s, u"closed"_s, u"print preconto 1  4, 5"_s}));

    link.events.clear();
    requests.stampaListaOrdinazioni(4, 3);
    EXPECT_EQ(link.events, (QStringList{u"reply OK|\r"_s, u"closed"_s, u"print lista 1  4, 5"_s}));
}

TEST_P(Requests, APreBillForAFreeTableOrWithoutPrinterPrintsNothing)
{
    // The pre-bill of a free table is refused in the end-to-end test of the orders.
    requests.stampaListaOrdinazioni(9, 3);
    EXPECT_EQ(link.replies.value(0), u"errore|Tavolo non occupato, impossibile stampare la lista\r"_s);

    ASSERT_TRUE(requests.occupaTavolo(u"OccupaTavolo|9|3919435200|4|8,00|2"_s, 3));
    printing.precontoPrinter.clear();
    link.replies.clear();
    requests.stampaPreConto(9, 3);
    requests.stampaListaOrdinazioni(9, 3);
    const QString noPrinter = u"errore|Non e' stata configurata nessuna stampante per il pre-conto!\r"_s;
    EXPECT_EQ(link.replies, (QStringList{noPrinter, noPrinter}));
    EXPECT_EQ(scalar(u"SELECT pre_conto FROM comande"_s), u"0"_s);
    EXPECT_TRUE(printing.printed.isEmpty());
}

TEST_P(Requests, KitchenNotesAreConfirmedThenPrintedOnTheirZone)
{
    ASSERT_TRUE(requests.notaTavolo(u"7|Niente sale al 7|2"_s, 4));
    EXPECT_EQ(link.events,
              (QStringList{u"reply OK|\r"_s, u"closed"_s, u"print messaggio 2 Tavolo n: 7\r\nMessaggio: Niente sale al 7"_s}));
    ASSERT_TRUE(requests.notaLibera(u"Marco|Pronti i primi?|4"_s, 4));
    EXPECT_EQ(printing.printed.last(), u"messaggio 4 Operatore: Marco\r\nMessaggio: Pronti i primi?"_s);
    link.replies.clear();
    EXPECT_FALSE(requests.notaTavolo(u"7|solo due campi"_s, 4));
    EXPECT_TRUE(link.replies.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, Requests, ::testing::ValuesIn(allEngines()), engineName);
