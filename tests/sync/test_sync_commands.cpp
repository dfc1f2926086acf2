// SPDX-License-Identifier: GPL-3.0-or-later
// How the "Sincro..." requests of a handheld are read before they are answered.
#include "SyncCommands.h"
#include "SyncFixture.h"


namespace {
QStringList warnings;
void keepSyncWarnings(QtMsgType, const QMessageLogContext &context, const QString &text)
{
    if (context.category && QByteArray(context.category) == "pliko.sync")
        warnings.append(text);
}
} // namespace

class SyncCommandTest : public SyncTest
{
protected:
    // Runs a request as the dispatcher hands it over: the tail after the handheld code.
    bool request(const QString &tail)
    {
        for (const SyncCommand &c : syncCommands())
            if (c.word == tail.section(u'|', 0, 0))
                return c.run(replies, tail, tail.section(u'|', 1), Slot);
        ADD_FAILURE() << "no command for " << tail.toStdString();
        return false;
    }
};

TEST_P(SyncCommandTest, aTableRequestPassesTheTableAndTheWaiterOrIsRefusedAndLogged)
{
    addOrder(Mar14 + 20 * H, 3, {12});
    EXPECT_TRUE(request(u"SincroTavolo|12|3"_s));
    EXPECT_TRUE(request(u"SincroTavolo|12|2"_s));
    EXPECT_EQ(link.replies, (QStringList{u"COMANDA|C|3919608000|3919608600|12|2|14/03/2024|0;\r"_s, u"ALTRO|12\r"_s}));

    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepSyncWarnings);
    EXPECT_FALSE(request(u"SincroTavolo|12|tre"_s));
    EXPECT_FALSE(request(u"SincroTavolo|12"_s));
    EXPECT_FALSE(request(u"SincroTavolo|12 OR 1=1|3"_s));
    EXPECT_FALSE(request(u"SincroTavolo|12|99999999999"_s));
    qInstallMessageHandler(previous);
    EXPECT_EQ(link.replies.size(), 2);
    EXPECT_EQ(warnings.size(), 4);
}

TEST_P(SyncCommandTest, anOperatorThatIsNotANumberIsOperatorZero)
{
    addOrder(Mar14 + 20 * H, 0, {1});
    addOrder(Mar14 + 20 * H, 3, {2});
    EXPECT_TRUE(request(u"SincroComande|3|"_s));      // "3|" is not a number: operator 0
    EXPECT_TRUE(request(u"SincroTavoliUsati|abc"_s));  // every waiter but 0
    EXPECT_TRUE(request(u"SincroComande|3"_s));
    EXPECT_TRUE(request(u"SincroTavoli|qualcosa|altro"_s)); // no arguments: what follows is ignored
    ASSERT_EQ(link.replies.size(), 4);
    EXPECT_EQ(link.replies.mid(0, 3), (QStringList{u"SincroComande|C|3919608000|3919608600|1|2|14/03/2024|0;\r"_s,
                                                   u"SincroTavoliUsati|2;\r"_s,
                                                   u"SincroComande|C|3919608000|3919608600|2|2|14/03/2024|0;\r"_s}));
    EXPECT_TRUE(link.replies[3].startsWith(u"SincroTavoli|1|1|4;"_s));
}

INSTANTIATE_TEST_SUITE_P(Engines, SyncCommandTest, ::testing::ValuesIn(allEngines()), engineName);
