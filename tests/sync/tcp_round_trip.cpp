// SPDX-License-Identifier: GPL-3.0-or-later
// A handheld asking for its synchronisation data over a real socket, through the handheld server
// and the dispatcher with the "Sincro..." commands registered as the program registers them.
#include "CommandDispatcher.h"
#include "HandheldClient.h"
#include "HandheldServer.h"
#include "OperatorUi.h"
#include "SincroReplies.h"
#include "SyncCommands.h"
#include "TestSupport.h"
#include "modPlikoServer.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SyncOverTcp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dispatcher.setDatabasePath(data.path());
        dispatcher.setLink(&server);
        dispatcher.setDropConnection([this](int index) { server.dropConnection(index); });
        for (const SyncCommand &c : syncCommands())
            dispatcher.registerCommand(c.word, [this, c](const HandheldRequest &r) {
                if (!c.run(replies, r.tail, r.rest, r.index))
                    r.reject(u"argomenti non validi"_s);
            });
        server.setDispatch([this](const QString &text, int index) { dispatcher.analizzaDati(text, index); });
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    }

    // Sends one request and returns what came back before the server closed the connection.
    QByteArray ask(const QByteArray &request)
    {
        HandheldClient client(server.serverPort());
        EXPECT_TRUE(client.waitConnected());
        client.send(request);
        EXPECT_TRUE(client.waitClosed());
        return client.received();
    }

    RegionalGuard regional;
    TestDatabase data;
    OperatorUi ui;
    modPlikoServer mod{data.db()};
    HandheldServer server{&ui};
    CommandDispatcher dispatcher{data.db(), &ui};
    SincroReplies replies{data.db(), mod, server};
};

TEST_F(SyncOverTcp, aHandheldGetsTheWaitersAndTheMenuAndTheConnectionCloses)
{
    EXPECT_EQ(ask("PALM01|SincroOperatori|\r"), QByteArray("SincroOperatori|1|Marco;2|Giulia;3|Luca;4|Sara;\r"));
    const QByteArray menu = ask("PALM01|SincroArticoli|\r");
    EXPECT_TRUE(menu.startsWith("SincroArticoli|101|Bruschetta al pomodoro|1|5|0|1|0|0;")) << menu.left(80).data();
    EXPECT_TRUE(menu.endsWith(";\r"));
    EXPECT_EQ(menu.count('\r'), 1);
}

TEST_F(SyncOverTcp, aTableRequestCarryingSqlIsDroppedWithoutAReply)
{
    EXPECT_EQ(ask("PALM01|SincroTavolo|3 OR 1=1|2\r"), QByteArray());
    EXPECT_EQ(ask("PALM01|SincroTavolo|3|2\r"), QByteArray("LIBERO|3\r"));
    EXPECT_EQ(dispatcher.rejectedRequests(), 1);
}

} // namespace
