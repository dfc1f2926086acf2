// SPDX-License-Identifier: GPL-3.0-or-later
// Reservations, variations, settings and waiters as a handheld downloads them.
#include "SyncFixture.h"

using namespace Qt::StringLiterals;

namespace {
constexpr double H = 3600.0;
}

TEST_F(SyncTest, reservationsFromTheWarningTimeToAnHourAheadAreListed)
{
    clearReservations();
    setLong(u"minuti_avviso_prenotazione"_s, 30);
    addReservation(Mar15 + 11 * H + 40 * 60, 3);   // 20 minutes ago
    addReservation(Mar15 + 12 * H + 50 * 60, 4);   // 50 minutes ahead
    addReservation(Mar15 + 13 * H + 1 * 60, 5);    // 61 minutes ahead
    addReservation(Mar15 + 12 * H + 50 * 60, 11);  // a party on two tables
    replies.sincroPrenotati(Slot);
    EXPECT_EQ(onlyReply(), u"SincroPrenotati|3|11:40;4|12:50;11|12:50;\r"_s);
}

TEST_F(SyncTest, withoutAWarningSettingReservationsOfTheLastHourAreListed)
{
    clearReservations();
    data.exec(u"DELETE FROM var_long WHERE name = 'minuti_avviso_prenotazione'"_s);
    addReservation(Mar15 + 11 * H, 3);
    addReservation(Mar15 + 10 * H + 59 * 60, 4);
    // The clock's seconds do not count: at 12:00:45 the window still starts at 11:00.
    setNow(QDate(2024, 3, 15), QTime(12, 0, 45));
    replies.sincroPrenotati(Slot);
    EXPECT_EQ(onlyReply(), u"SincroPrenotati|3|11:00;\r"_s);
}

TEST_F(SyncTest, theDemoReservationHalfAnHourAheadIsListed)
{
    replies.sincroPrenotati(Slot);
    EXPECT_EQ(onlyReply(), u"SincroPrenotati|7|12:30;\r"_s);
}

TEST_F(SyncTest, variationsComeFirstThenTheCategoriesTheyApplyTo)
{
    data.exec(u"DELETE FROM variazioni_comande_categorie"_s);
    data.exec(u"DELETE FROM variazioni_comande WHERE id_variazione > 2"_s);
    data.exec(u"UPDATE variazioni_comande SET prezzo = 1.255 WHERE id_variazione = 2"_s);
    for (int category : {2, 3, 5})
        data.exec(u"INSERT INTO variazioni_comande_categorie (id_variazione, id_tipo_merce) VALUES (1, "_s
                  + QString::number(category) + u")"_s);
    replies.sincroVariazioni(Slot);
    EXPECT_EQ(onlyReply(), u"SincroVariazioni|V|1|Senza cipolla|0;V|2|Extra mozzarella|1,255;"
                           "C|2|1;C|3|1;C|5|1;\r"_s);
}

TEST_F(SyncTest, theDemoCatalogueKeepsNegativePricesAndEveryLink)
{
    replies.sincroVariazioni(Slot);
    const QString reply = onlyReply();
    EXPECT_TRUE(reply.contains(u"V|7|Porzione ridotta|-2;"_s));
    EXPECT_EQ(reply.count(u"V|"_s), 15);
    EXPECT_EQ(reply.count(u"C|"_s), 23);
    EXPECT_LT(reply.lastIndexOf(u"V|"_s), reply.indexOf(u"C|"_s));
}

TEST_F(SyncTest, theHandheldLearnsTheCoverAndOpeningSettings)
{
    replies.sincroVariabili(Slot);
    const QString reply = onlyReply();
    ASSERT_TRUE(reply.startsWith(u"SincroVariabili|"_s));
    ASSERT_TRUE(reply.endsWith(u"\r"_s));
    QStringList records = reply.mid(16).chopped(1).split(u';', Qt::SkipEmptyParts);
    // Integer settings first, then the texts; within each kind in the engine's order.
    ASSERT_EQ(records.size(), 6);
    QStringList longs = records.mid(0, 2);
    longs.sort();
    EXPECT_EQ(longs, (QStringList{u"L|minuti_avviso_prenotazione|60"_s, u"L|tipologia_coperto|1"_s}));
    QStringList texts = records.mid(2);
    texts.sort();
    EXPECT_EQ(texts, (QStringList{u"S|coperto_percentuale|10"_s, u"S|coperto_somma|2,00"_s,
                                  u"S|ora_apertura_attivita|10:00"_s, u"S|ora_chiusura_attivita|02:00"_s}));
}

TEST_F(SyncTest, withoutTheSettingsTheReplyIsEmpty)
{
    data.exec(u"DELETE FROM var_long"_s);
    data.exec(u"DELETE FROM var_str"_s);
    replies.sincroVariabili(Slot);
    EXPECT_EQ(onlyReply(), u"SincroVariabili|\r"_s);
}

TEST_F(SyncTest, onlyCurrentWaitersAreListed)
{
    // The demo has a former waiter (5) and a supplier (100).
    replies.sincroOperatori(Slot);
    EXPECT_EQ(onlyReply(), u"SincroOperatori|1|Marco;2|Giulia;3|Luca;4|Sara;\r"_s);
}

TEST_F(SyncTest, aReferenceQueryThatCannotBeOpenedSendsNothing)
{
    data.exec(u"DROP TABLE variazioni_comande_categorie"_s);
    data.exec(u"DROP TABLE prenotazioni"_s);
    data.exec(u"DROP TABLE clfn"_s);
    replies.sincroVariazioni(Slot);
    replies.sincroPrenotati(Slot);
    replies.sincroOperatori(Slot);
    EXPECT_TRUE(link.replies.isEmpty());
}
