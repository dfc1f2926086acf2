// SPDX-License-Identifier: GPL-3.0-or-later
// analizzaDati: which handler a request reaches, what it is given, and what happens to requests
// that cannot be understood.
#include "CommandDispatcher.h"
#include "ErrorRoutine.h"
#include "FakeLink.h"
#include "HandheldClient.h"
#include "OperatorUi.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

class DispatcherTest : public ::testing::Test
{
protected:
    DispatcherTest() : dispatcher(database.db(), &ui)
    {
        dispatcher.setDatabasePath(database.path());
        dispatcher.setLink(&link);
        dispatcher.setDropConnection([this](int index) { dropped.push_back(index); });
        baseOpens = database.db().openCount();
    }

    RegionalGuard regionalGuard;
    TestDatabase database;
    OperatorUi ui;
    CommandDispatcher dispatcher;
    FakeLink link;
    std::vector<int> dropped;
    int baseOpens = 0;
};

TEST_F(DispatcherTest, DuringARushTheDatabaseStaysOpenBetweenRequestsAndClosesWhenTheyStop)
{
    dispatcher.setDatabaseLinger(std::chrono::milliseconds(30));
    dispatcher.analizzaDati(u"PALM01|TestConnessione|"_s, 2);
    dispatcher.analizzaDati(u"PALM02|TestConnessione|"_s, 3);
    EXPECT_EQ(link.replies.size(), 2);
    EXPECT_EQ(database.db().openCount(), baseOpens + 1);
    EXPECT_TRUE(pumpUntil([&] { return database.db().openCount() == baseOpens; }));
}

TEST_F(DispatcherTest, TheHandlerGetsTailAndRestAndRunsWithTheDatabaseOpenedAndClosedAroundIt)
{
    dispatcher.analizzaDati(u"PALM01|TestConnessione|"_s, 2);
    EXPECT_EQ(link.replies, QStringList{u"TestOK|\r"_s});
    EXPECT_EQ(link.lastIndex, 2);
    HandheldRequest seen;
    int opensDuring = 0;
    dispatcher.registerCommand(u"Preconto"_s, [&](const HandheldRequest &r) {
        seen = r;
        opensDuring = database.db().openCount();
    });
    dispatcher.analizzaDati(u"PALM01|Preconto|12"_s, 5);
    EXPECT_EQ(seen.index, 5);
    EXPECT_EQ(seen.tail, u"Preconto|12"_s);
    EXPECT_EQ(seen.word, u"Preconto"_s);
    EXPECT_EQ(seen.rest, u"12"_s);
    EXPECT_EQ(opensDuring, baseOpens + 1);
    EXPECT_EQ(database.db().openCount(), baseOpens);
    EXPECT_TRUE(dropped.empty());
}

TEST_F(DispatcherTest, RequestsThatCannotBeUnderstoodRunNoHandler)
{
    bool ran = false;
    dispatcher.registerCommand(u"NotaTavolo"_s, [&](const HandheldRequest &) { ran = true; }, 3);
    // Unknown words and words in the wrong case get no reply and keep the connection.
    for (const QString &request : {u"PALM01|testconnessione|"_s, u"PALM01|Conto|3"_s, u"PALM01|TestConnessione |"_s})
        dispatcher.analizzaDati(request, 5);
    EXPECT_TRUE(dropped.empty());
    EXPECT_EQ(dispatcher.rejectedRequests(), 0);
    // Without its separators, or with too few fields for its command, a request is dropped.
    for (const QString &request :
         {u"PALM01|TestConnessione"_s, u"PALM01"_s, QString(), u"P|NotaTavolo|7|Senza cipolla"_s})
        dispatcher.analizzaDati(request, 6);
    EXPECT_EQ(dropped, std::vector<int>(4, 6));
    EXPECT_EQ(dispatcher.rejectedRequests(), 4);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(link.replies.isEmpty());
    EXPECT_EQ(database.db().openCount(), baseOpens);
    // The next request that can be read is served.
    dispatcher.analizzaDati(u"P|NotaTavolo|7|Senza cipolla|2"_s, 7);
    EXPECT_TRUE(ran);
}

TEST_F(DispatcherTest, AHandlerMayRejectItsOwnArgumentsAndTheFirstRegistrationOfAWordWins)
{
    QStringList order;
    dispatcher.registerCommand(u"SincroTavolo"_s, [&](const HandheldRequest &r) {
        order << u"first"_s;
        qint64 operatorId = 0;
        if (!tipi::parseWhole(r.fields().value(1), &operatorId))
            r.reject(u"operatore non numerico"_s);
    });
    dispatcher.registerCommand(u"SincroTavolo"_s, [&](const HandheldRequest &) { order << u"second"_s; });
    dispatcher.analizzaDati(u"P|SincroTavolo|12|tre"_s, 8);
    EXPECT_EQ(order, QStringList{u"first"_s});
    EXPECT_EQ(dropped, std::vector<int>{8});
    EXPECT_TRUE(ui.statusLines().last().startsWith(u"Richiesta scartata"_s));
}

TEST_F(DispatcherTest, AFaultInsideAHandlerClosesThatConnectionAndLeavesNothingBehindEvenWhileTheDatabaseLingers)
{
    dispatcher.setDatabaseLinger(std::chrono::milliseconds(60000));
    dispatcher.registerCommand(u"Comanda"_s, [&](const HandheldRequest &) {
        ASSERT_TRUE(database.db().beginTrans());
        database.db().doQuery(u"INSERT INTO var_str (name, value) VALUES ('mezza_comanda', 'x')"_s);
        throw std::runtime_error("riga non scrivibile");
    });
    dispatcher.analizzaDati(u"P|Comanda|1"_s, 9);
    EXPECT_EQ(dropped, std::vector<int>{9});
    EXPECT_EQ(diagnostics::errorRecord().description, u"riga non scrivibile"_s);
    EXPECT_EQ(dispatcher.activeRequests(), 0);
    EXPECT_FALSE(database.db().inTransaction());
    EXPECT_EQ(database.scalar(u"SELECT count(*) FROM var_str WHERE name = 'mezza_comanda'"_s), u"0"_s);
    dispatcher.releaseDatabase();
    EXPECT_EQ(database.db().openCount(), baseOpens);
}

TEST_F(DispatcherTest, WithoutItsDatabaseNoHandlerRunsAndTheHandheldIsLetGo)
{
    dispatcher.setDatabasePath(database.dir() + u"/missing.db"_s);
    // The test database holds its own open; a closed one is what service sees between requests.
    while (database.db().isOpened())
        database.db().closeDB();
    dispatcher.analizzaDati(u"P|TestConnessione|"_s, 2);
    EXPECT_TRUE(link.replies.isEmpty());
    EXPECT_EQ(dropped, std::vector<int>{2});
    EXPECT_FALSE(database.db().isOpened());
}

} // namespace
