// SPDX-License-Identifier: GPL-3.0-or-later
// A waiter's open orders, and the tables the other waiters hold, at the start of a shift.
#include "SyncFixture.h"

TEST_P(SyncTest, onlyTheWaitersOwnOpenOrdersAreSent)
{
    replies.sincroComande(2, Slot);
    addOrder(Mar14 + 19 * H, 2, {1}, 2, 1); // paid
    addOrder(Mar14 + 19 * H, 2, {2}, 2, 2); // cancelled by the back office
    addOrder(Mar14 + 20 * H, 3, {3});       // a colleague's
    const qint32 open = addOrder(Mar14 + 21 * H, 2, {7}, 4, 0, true);
    addLine(open, 150, u"3"_s, 2);
    replies.sincroComande(2, Slot);
    EXPECT_EQ(link.replies, (QStringList{u"SincroComande|\r"_s,
                                         u"SincroComande|C|3919611600|3919612200|7|4|14/03/2024|1;M|150|3|2;\r"_s}));
}

TEST_P(SyncTest, theDemoRestaurantSendsBackAnOrderPlacedAMinuteAgo)
{
    // Friday noon, the demo's own hours: the order opened at 11:59 on table 3 comes back, with its
    // day in the regional short form.
    useDemoHours();
    const qint32 order = addOrder(Mar15 + 11 * H + 59 * 60, 2, {3});
    addLine(order, 101, u"2"_s, 1);
    replies.sincroComande(2, Slot);
    EXPECT_EQ(onlyReply(), u"SincroComande|C|3919665540|3919666140|3|2|15/03/2024|0;M|101|2|1;\r"_s);
    replies.sincroTavolo(Slot, u"3"_s, 2);
    EXPECT_EQ(link.replies.value(1), u"COMANDA|C|3919665540|3919666140|3|2|15/03/2024|0;M|101|2|1;\r"_s);
}

TEST_P(SyncTest, anOrderOnTwoTablesIsSentOncePerTableInFull)
{
    const qint32 order = addOrder(Mar14 + 20 * H, 2, {4, 5}, 6);
    const qint32 line = addLine(order, 108, u"2"_s, 1);
    addVariation(line, 7, u"1"_s);
    addVariation(line, 4, u"1"_s);
    const QString once = u"C|3919608000|3919608600|4,5|6|14/03/2024|0;M|108|2|1;V|7|1;V|4|1;"_s;
    replies.sincroComande(2, Slot);
    EXPECT_EQ(onlyReply(), u"SincroComande|"_s + once + once + u"\r"_s);
}

TEST_P(SyncTest, otherWaitersTablesAreListedOncePerOpenOrder)
{
    addOrder(Mar14 + 20 * H, 1, {6});       // the asking waiter's own
    addOrder(Mar14 + 20 * H, 2, {3});
    addOrder(Mar14 + 21 * H, 3, {4, 5});
    addOrder(Mar14 + 21 * H, 4, {3});       // table 3 shared by two open bills
    addOrder(Mar14 + 21 * H, 4, {9}, 2, 1); // closed
    replies.sincroTavoliAltriOperatori(1, Slot);
    const QString reply = onlyReply();
    ASSERT_TRUE(reply.startsWith(u"SincroTavoliUsati|"_s) && reply.endsWith(u";\r"_s)) << reply.toStdString();
    QStringList tables = reply.mid(18).chopped(2).split(u';');
    tables.sort();
    EXPECT_EQ(tables, (QStringList{u"3"_s, u"3"_s, u"4"_s, u"5"_s}));
}

TEST_P(SyncTest, beforeOpeningTheWaitersOrdersComeFromTheDayBeforeButOtherTablesDoNot)
{
    setOpeningHours(u"25200"_s, u"82800"_s); // 7:00 to 23:00
    regional.clock().set(QDateTime(QDate(2024, 3, 15), QTime(5, 0)));
    addOrder(Mar14 - 86400 + 20 * H, 2, {1}); // Wednesday evening
    addOrder(Mar14 + 20 * H, 3, {2});         // Thursday evening
    addOrder(Mar14 - 86400 + 20 * H, 3, {8}); // Wednesday evening, another waiter
    replies.sincroComande(2, Slot);
    replies.sincroTavoliAltriOperatori(2, Slot);
    EXPECT_EQ(link.replies, (QStringList{u"SincroComande|C|3919521600|3919522200|1|2|13/03/2024|0;\r"_s,
                                         u"SincroTavoliUsati|2;\r"_s}));
}
