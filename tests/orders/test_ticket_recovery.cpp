// SPDX-License-Identifier: GPL-3.0-or-later
// After a stop between an order's reply and its tickets, the tickets still owed print at start-up.
#include "FakeLink.h"
#include "OperatorUi.h"
#include "TestSupport.h"
#include "TicketRecovery.h"
#include "modPlikoServer.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class TicketRecoveryTest : public ::testing::Test
{
protected:
    TicketRecoveryTest() : helpers(tdb.db()), recovery(tdb.db(), helpers, printing, &ui) {}

    // An order of table `tavolo` opened `apertaMinuti` ago, last round `giroMinuti` ago (0: never
    // recorded), with a carbonara of which `stampata` of 2 is printed.
    qint32 ordine(qint32 tavolo, double apertaMinuti, double giroMinuti, int stampata, int stato = 0,
                  int giaStampata = 0)
    {
        const double now = modPlikoServer::momentoAttuale();
        tdb.exec(u"INSERT INTO comande (inizio, ultima_ordinazione, id_operatore, stato) VALUES (%1, %2, 1, %3)"_s
                     .arg(qint64(now - apertaMinuti * 60))
                     .arg(giroMinuti > 0 ? qint64(now - giroMinuti * 60) : 0)
                     .arg(stato));
        const QString id = tdb.scalar(u"SELECT max(id_comanda) FROM comande"_s);
        tdb.exec(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES (%1, %2)"_s.arg(tavolo).arg(id));
        tdb.exec(u"INSERT INTO merce_comande (id_comanda, id_articolo, descrizione, quantita, qta_stampata, "
                 "gia_stampata) VALUES (%1, 111, 'Carbonara', 2, %2, %3)"_s.arg(id).arg(stampata).arg(giaStampata));
        return id.toInt();
    }

    RegionalGuard guard;
    TestDatabase tdb;
    modPlikoServer helpers;
    OperatorUi ui;
    FakePrinting printing;
    TicketRecovery recovery;
};

} // namespace

TEST_F(TicketRecoveryTest, OnlyRecentOpenOrdersWithLinesStillToPrintAreReprinted)
{
    const struct
    {
        const char *what;
        qint32 tavolo;
        double aperta, giro;
        int stampata, stato, giaStampata;
        bool ristampata;
    } cases[] = {
        {"confirmed five minutes ago, never printed", 1, 5, 5, 0, 0, 0, true},
        {"opened two hours ago, a new round a minute ago", 2, 120, 1, 1, 0, 0, true},
        {"opened two minutes ago by a table occupancy, no round recorded", 3, 2, 0, 0, 0, 0, true},
        {"last round an hour ago", 4, 60, 60, 0, 0, 0, false},
        {"everything printed", 5, 5, 5, 2, 0, 0, false},
        {"a closed order", 6, 5, 5, 0, 1, 0, false},
        {"lines the back office printed itself", 7, 5, 5, 0, 0, 1, false},
    };
    QStringList expected;
    for (const auto &c : cases) {
        const qint32 id = ordine(c.tavolo, c.aperta, c.giro, c.stampata, c.stato, c.giaStampata);
        if (c.ristampata)
            expected.append(u"ristampa %1 %2"_s.arg(id).arg(c.tavolo));
    }

    EXPECT_EQ(recovery.ristampa(0), 0); // zero minutes turns the recovery off
    EXPECT_TRUE(printing.printed.isEmpty());
    EXPECT_EQ(recovery.ristampa(15), expected.size());
    EXPECT_EQ(printing.printed, expected);
    // The operator log names each order printed again.
    EXPECT_EQ(ui.statusLines().filter(u"Ristampa della comanda"_s).size(), expected.size());
}
