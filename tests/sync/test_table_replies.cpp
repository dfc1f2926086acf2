// SPDX-License-Identifier: GPL-3.0-or-later
// The table plan and the state of one table as a waiter's handheld sees them.
#include "SyncFixture.h"

TEST_P(SyncTest, theTablePlanListsEveryTableWithItsCovers)
{
    replies.sincroTavoli(Slot);
    const QString reply = onlyReply();
    EXPECT_TRUE(reply.startsWith(u"SincroTavoli|1|1|4;2|2|4;"_s)) << reply.toStdString();
    EXPECT_TRUE(reply.endsWith(u";19|19|2;20|20|2;\r"_s)) << reply.toStdString();
    EXPECT_EQ(reply.count(u';'), 20);
    EXPECT_EQ(link.lastIndex, Slot);

    data.exec(u"DELETE FROM tavoli"_s);
    link.replies.clear();
    replies.sincroTavoli(Slot);
    EXPECT_EQ(onlyReply(), u"SincroTavoli|\r"_s);
}

TEST_P(SyncTest, theWaitersOwnOrderOnJoinedTablesComesInFullWithItsVariations)
{
    // Thursday dinner on tables 4 and 5, still open at Friday noon (the demo day runs 10:00-02:00).
    const qint32 order = addOrder(Mar14 + 20 * H, 2, {4, 5}, 3, 0, true);
    const qint32 pizza = addLine(order, 126, u"2"_s, 1);
    addVariation(pizza, 2, u"1"_s);
    addVariation(pizza, 5, u"2"_s);
    addLine(order, 141, u"1.5"_s, 2);

    replies.sincroTavolo(Slot, u"5"_s, 2);
    EXPECT_EQ(onlyReply(), u"COMANDA|C|3919608000|3919608600|4,5|3|14/03/2024|1;"
                           "M|126|2|1;V|2|1;V|5|2;M|141|1,5|2;\r"_s);
}

TEST_P(SyncTest, twoOpenOrdersOnOneTableGiveOneReplyEachAndAColleaguesIsOnlyMarkedTaken)
{
    const qint32 mine = addOrder(Mar14 + 20 * H, 1, {6});
    addLine(mine, 101, u"1"_s, 1);
    addOrder(Mar14 + 22 * H, 4, {6});

    replies.sincroTavolo(Slot, u"6"_s, 1);
    EXPECT_EQ(link.sentInsideTransaction, 0);
    ASSERT_EQ(link.replies.size(), 2);
    EXPECT_EQ(link.replies[0], u"COMANDA|C|3919608000|3919608600|6|2|14/03/2024|0;M|101|1|1;\r"_s);
    EXPECT_EQ(link.replies[1], u"ALTRO|6\r"_s);
}

TEST_P(SyncTest, aTableWithoutOpenOrdersIsFreeOrReservedWithinTheHour)
{
    clearReservations();
    addOrder(Mar14 + 20 * H, 2, {9}, 2, 1);       // the bill was closed by the back office
    addOrder(Mar14 - 4 * H, 2, {9});              // left over from Wednesday night
    addReservation(Mar15 + 12 * H + 30 * 60, 9);  // 12:30
    addReservation(Mar15 + 14 * H, 10);           // 14:00, two hours ahead
    addReservation(Mar15 + 10 * H + 50 * 60, 11); // 70 minutes ago: given up
    // A table field with a line end or blanks around it is answered as the plain number: a carriage
    // return echoed into the reply would end the handheld's line early.
    for (const QString &table : {u"9"_s, u"\r10"_s, u" 11 "_s})
        replies.sincroTavolo(Slot, table, 2);
    EXPECT_EQ(link.replies, (QStringList{u"PRENOTA|9|12:30\r"_s, u"LIBERO|10\r"_s, u"LIBERO|11\r"_s}));
}

TEST_P(SyncTest, aTableTextThatIsNotANumberIsRefusedAndNothingReachesTheDatabase)
{
    addOrder(Mar14 + 20 * H, 2, {5});
    replies.sincroTavolo(Slot, u"5 OR 1=1"_s, 2);
    replies.sincroTavolo(Slot, u"5; DELETE FROM comande"_s, 2);
    replies.sincroTavolo(Slot, u""_s, 2);
    EXPECT_TRUE(link.replies.isEmpty()) << link.replies.join(u" // "_s).toStdString();
    EXPECT_EQ(data.scalar(u"SELECT count(*) FROM comande"_s), u"1"_s);
}

INSTANTIATE_TEST_SUITE_P(Engines, SyncTest, ::testing::ValuesIn(allEngines()), engineName);
