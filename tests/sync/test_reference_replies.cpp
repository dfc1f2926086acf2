// SPDX-License-Identifier: GPL-3.0-or-later
// Reservations, variations, settings and waiters as a handheld downloads them.
#include "SyncFixture.h"

TEST_P(SyncTest, reservationsFromTheWarningTimeToAnHourAheadAreListed)
{
    clearReservations();
    setLong(u"minuti_avviso_prenotazione"_s, 30);
    addReservation(Mar15 + 11 * H + 40 * 60, 3);  // 20 minutes ago
    addReservation(Mar15 + 12 * H + 50 * 60, 4);  // 50 minutes ahead
    addReservation(Mar15 + 13 * H + 1 * 60, 5);   // 61 minutes ahead
    addReservation(Mar15 + 12 * H + 50 * 60, 11); // the same party on a second table
    replies.sincroPrenotati(Slot);

    // Without the setting the window opens an hour back; the clock's seconds do not count.
    data.exec(u"DELETE FROM var_long WHERE name = 'minuti_avviso_prenotazione'"_s);
    addReservation(Mar15 + 11 * H, 6);
    addReservation(Mar15 + 10 * H + 59 * 60, 7);
    regional.clock().set(QDateTime(QDate(2024, 3, 15), QTime(12, 0, 45)));
    replies.sincroPrenotati(Slot);

    EXPECT_EQ(link.replies, (QStringList{u"SincroPrenotati|3|11:40;4|12:50;11|12:50;\r"_s,
                                         u"SincroPrenotati|3|11:40;4|12:50;11|12:50;6|11:00;\r"_s}));
}

TEST_P(SyncTest, variationsComeFirstThenTheCategoriesTheyApplyTo)
{
    data.exec(u"DELETE FROM variazioni_comande_categorie"_s);
    data.exec(u"DELETE FROM variazioni_comande WHERE id_variazione > 2 AND id_variazione <> 7"_s);
    data.exec(u"UPDATE variazioni_comande SET prezzo = 1.255 WHERE id_variazione = 2"_s);
    for (int category : {2, 3, 5})
        data.exec(u"INSERT INTO variazioni_comande_categorie (id_variazione, id_tipo_merce) VALUES (1, "_s
                  + QString::number(category) + u")"_s);
    replies.sincroVariazioni(Slot);
    EXPECT_EQ(onlyReply(), u"SincroVariazioni|V|1|Senza cipolla|0;V|2|Extra mozzarella|1,255;"
                           "V|7|Porzione ridotta|-2;C|2|1;C|3|1;C|5|1;\r"_s);
}

TEST_P(SyncTest, theHandheldLearnsTheCoverAndOpeningSettings)
{
    useDemoHours();
    replies.sincroVariabili(Slot);
    const QString reply = onlyReply();
    ASSERT_TRUE(reply.startsWith(u"SincroVariabili|"_s) && reply.endsWith(u";\r"_s)) << reply.toStdString();
    // Integer settings first, then the texts; within each kind in the engine's order.
    const QStringList records = reply.mid(16).chopped(2).split(u';');
    ASSERT_EQ(records.size(), 6);
    QStringList longs = records.mid(0, 2);
    QStringList texts = records.mid(2);
    longs.sort();
    texts.sort();
    EXPECT_EQ(longs, (QStringList{u"L|minuti_avviso_prenotazione|60"_s, u"L|tipologia_coperto|1"_s}));
    EXPECT_EQ(texts, (QStringList{u"S|coperto_percentuale|10"_s, u"S|coperto_somma|2,00"_s,
                                  u"S|ora_apertura_attivita|122400"_s, u"S|ora_chiusura_attivita|93600"_s}));

    data.exec(u"DELETE FROM var_long"_s);
    data.exec(u"DELETE FROM var_str"_s);
    replies.sincroVariabili(Slot);
    EXPECT_EQ(link.replies.value(1), u"SincroVariabili|\r"_s);
}

TEST_P(SyncTest, onlyCurrentWaitersAreListed)
{
    // The demo has a former waiter (5) and a supplier (100).
    replies.sincroOperatori(Slot);
    EXPECT_EQ(onlyReply(), u"SincroOperatori|1|Marco;2|Giulia;3|Luca;4|Sara;\r"_s);
}
