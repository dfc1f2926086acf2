// SPDX-License-Identifier: GPL-3.0-or-later
// The handheld service over real sockets: how a request is collected, answered and the connection
// ended, and how slots are handed out, reused and never lost.
#include "HandheldClient.h"
#include "HandheldServer.h"
#include "OperatorUi.h"
#include "TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Dispatched
{
    QString text;
    int index;
};

class HandheldServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.setDispatch([this](const QString &text, int index) {
            calls.push_back({text, index});
            if (reply)
                reply(text, index);
        });
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        port = server.serverPort();
    }
    bool statusHas(const QString &prefix) const
    {
        const QStringList lines = ui.statusLines();
        return std::any_of(lines.begin(), lines.end(), [&](const QString &l) { return l.startsWith(prefix); });
    }
    // The usual handler: answer every request the way the connection test is answered.
    void answerEverything()
    {
        reply = [this](const QString &, int index) { server.inviaRisposta(u"TestOK|\r"_s, index); };
    }

    RegionalGuard regionalGuard;
    OperatorUi ui;
    HandheldServer server{&ui};
    quint16 port = 0;
    std::vector<Dispatched> calls;
    std::function<void(const QString &, int)> reply;
};

TEST_F(HandheldServerTest, AWaiterRequestSplitOverTwoArrivalsIsHandledOnceWhenItsCarriageReturnArrives)
{
    answerEverything();
    HandheldClient palmare(port);
    ASSERT_TRUE(palmare.waitConnected());
    palmare.send("PALM01|TestConn");
    ASSERT_TRUE(pumpUntil([&] { return server.buffer(2) == u"PALM01|TestConn"_s; }));
    EXPECT_TRUE(calls.empty());
    palmare.send("essione|\r");
    ASSERT_TRUE(palmare.waitClosed());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, u"PALM01|TestConnessione|"_s);
    EXPECT_EQ(palmare.received(), QByteArray("TestOK|\r"));
    EXPECT_EQ(ui.dataText(), u"PALM01|TestConnessione|\r\r\n"_s);
}

TEST_F(HandheldServerTest, AHandheldThatShutsItsSendingSideAfterItsRequestStillGetsItsReply)
{
    for (const int yieldMs : {0, 300}) {
        // The order handler answers at once, or after yielding to the event loop as its database
        // statements do (the handheld's FIN arrives meanwhile).
        reply = [this, yieldMs](const QString &, int index) {
            pumpUntil([] { return false; }, yieldMs);
            server.inviaRisposta(u"ComandaOK|\r"_s, index);
        };
        calls.clear();
        HandheldClient palmare(port);
        ASSERT_TRUE(palmare.waitConnected());
        palmare.send("PALM01|Comanda|3919435200|12|2|2|4,00|25,00;M|145|1|5,00|1|Birra|0|0;\r");
        palmare.shutdownSending();
        ASSERT_TRUE(palmare.waitClosed()) << yieldMs;
        EXPECT_EQ(calls.size(), 1u) << yieldMs;
        EXPECT_EQ(palmare.received(), QByteArray("ComandaOK|\r")) << yieldMs;
    }
    // The slots are free again.
    EXPECT_TRUE(pumpUntil([&] { return server.connectionsInUse() == 0; }));
}

TEST_F(HandheldServerTest, OnlyTheLastCarriageReturnCutsTheRequestAndWhatFollowsIsDiscarded)
{
    HandheldClient trailing(port);
    ASSERT_TRUE(trailing.waitConnected());
    trailing.send("PALM01|TestConnessione|\rxyz");
    ASSERT_TRUE(pumpUntil([&] { return calls.size() == 1; }));
    EXPECT_EQ(calls[0].text, u"PALM01|TestConnessione|"_s);
    EXPECT_TRUE(server.buffer(2).isEmpty());

    HandheldClient twoInOne(port);
    ASSERT_TRUE(twoInOne.waitConnected());
    twoInOne.send("P1|SincroTavoli|\rP1|SincroArticoli|\r");
    ASSERT_TRUE(pumpUntil([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls[1].text, u"P1|SincroTavoli|\rP1|SincroArticoli|"_s);
}

TEST_F(HandheldServerTest, HandheldsGetSlotTwoThenThreeAndSlotTwoAgainOnceItsReplyHasGone)
{
    HandheldClient first(port);
    ASSERT_TRUE(first.waitConnected());
    ASSERT_TRUE(pumpUntil([&] { return server.socketState(2) == 7; }));
    HandheldClient second(port);
    ASSERT_TRUE(second.waitConnected());
    ASSERT_TRUE(pumpUntil([&] { return server.socketState(3) == 7; }));
    EXPECT_EQ(server.socketState(1), 0) << "slot 1 is reserved";
    EXPECT_EQ(server.socketState(0), 2) << "slot 0 keeps listening";

    answerEverything();
    first.send("P1|TestConnessione|\r");
    ASSERT_TRUE(first.waitClosed());
    EXPECT_EQ(first.received(), QByteArray("TestOK|\r"));
    EXPECT_TRUE(statusHas(u"dati inviati"_s));
    ASSERT_TRUE(pumpUntil([&] { return server.socketState(2) == 0; }));

    EXPECT_EQ(exchange(port, "P3|TestConnessione|\r"), QByteArray("TestOK|\r"));
    EXPECT_EQ(calls.back().index, 2);
    EXPECT_EQ(ui.statusLines().count(u"connected "_s), 3);
}

TEST_F(HandheldServerTest, AHandheldThatHangsUpFirstIsLoggedWithTheTimeAndItsHalfRequestDoesNotBlockTheSlot)
{
    HandheldClient palmare(port);
    ASSERT_TRUE(palmare.waitConnected());
    palmare.send("PALM01|Comanda|1|2");
    ASSERT_TRUE(pumpUntil([&] { return !server.buffer(2).isEmpty(); }));
    palmare.close();
    ASSERT_TRUE(pumpUntil([&] { return statusHas(u"Closed at "_s); }));
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(server.buffer(2).isEmpty());
    EXPECT_EQ(server.trovaIndiceLibero(), 2);
}

TEST_F(HandheldServerTest, AConnectionThatSaysNothingIsClosedAfterTheIdleTime)
{
    server.setIdleTimeout(std::chrono::milliseconds(100));
    HandheldClient silent(port);
    ASSERT_TRUE(silent.waitConnected());
    silent.send("PALM01|Sincro");
    ASSERT_TRUE(silent.waitClosed());
    EXPECT_TRUE(statusHas(u"Connessione inattiva chiusa"_s));
    EXPECT_EQ(server.trovaIndiceLibero(), 2);

    // After an unknown command that got no reply, the connection is not held for ever either.
    EXPECT_EQ(exchange(port, "PALM01|Sconosciuto|\r"), QByteArray());
}

TEST_F(HandheldServerTest, AHandheldThatStopsReadingALongReplyDoesNotHoldItsSlotForEver)
{
    server.setIdleTimeout(std::chrono::milliseconds(300));
    reply = [this](const QString &, int index) { server.inviaRisposta(QString(32 << 20, u'x') + u'\r', index); };
    QTcpSocket stalled;
    stalled.setReadBufferSize(1);
    stalled.connectToHost(u"127.0.0.1"_s, port);
    ASSERT_TRUE(pumpUntil([&] { return stalled.state() == QAbstractSocket::ConnectedState; }));
    stalled.write("PALM01|SincroArticoli|\r");
    // Making and sending 32 MB takes seconds on a busy machine: the bound is generous, the wait is not.
    ASSERT_TRUE(pumpUntil([&] { return statusHas(u"Risposta non consegnata"_s); }, 30000));
    EXPECT_EQ(server.trovaIndiceLibero(), 2);
}

TEST_F(HandheldServerTest, AFloodWithoutCarriageReturnIsDroppedAndTheServerGoesOn)
{
    server.setMaxRequestBytes(4096);
    HandheldClient flood(port);
    ASSERT_TRUE(flood.waitConnected());
    flood.send(QByteArray(10000, 'x'));
    ASSERT_TRUE(flood.waitClosed());
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(statusHas(u"Richiesta troppo lunga"_s));
    EXPECT_EQ(server.trovaIndiceLibero(), 2);

    answerEverything();
    EXPECT_EQ(exchange(port, "P|TestConnessione|\r"), QByteArray("TestOK|\r"));
}

TEST_F(HandheldServerTest, WithAllSlotsBusyTheNextHandheldIsRefusedAndServedOnceASlotFrees)
{
    std::vector<std::unique_ptr<HandheldClient>> busy;
    for (int i = 0; i < 499; ++i) {
        busy.push_back(std::make_unique<HandheldClient>(port));
        if (i % 50 == 49) {
            ASSERT_TRUE(pumpUntil([&] { return server.connectionsInUse() == i + 1; })) << server.connectionsInUse();
        }
    }
    ASSERT_TRUE(pumpUntil([&] { return server.connectionsInUse() == 499; })) << server.connectionsInUse();
    EXPECT_EQ(server.trovaIndiceLibero(), 0);

    HandheldClient refused(port);
    ASSERT_TRUE(refused.waitClosed());
    EXPECT_TRUE(statusHas(u"Connessione rifiutata"_s));
    EXPECT_TRUE(server.isListening());

    busy[10]->close();
    ASSERT_TRUE(pumpUntil([&] { return server.connectionsInUse() == 498; }));
    const int freed = server.trovaIndiceLibero();
    EXPECT_GE(freed, 2);
    answerEverything();
    EXPECT_EQ(exchange(port, "P|TestConnessione|\r"), QByteArray("TestOK|\r"));
    EXPECT_EQ(calls.back().index, freed);
}

TEST_F(HandheldServerTest, EuroAndAccentsTravelAsWindows1252Bytes)
{
    reply = [this](const QString &, int index) { server.inviaRisposta(u"OK|Caffè 1,20 €\r"_s, index); };
    EXPECT_EQ(exchange(port, "P|NotaLibera|Mario|Pi\xF9 sale, 2 \x80|2\r"), QByteArray("OK|Caff\xE8 1,20 \x80\r"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, u"P|NotaLibera|Mario|Più sale, 2 €|2"_s);
}

TEST_F(HandheldServerTest, AHandlerWaitingForItsConnectionToCloseLetsOtherHandheldsBeServed)
{
    bool waited = false;
    bool noteClosedFirst = false;
    reply = [&](const QString &text, int index) {
        if (text.contains(u"NotaTavolo"_s)) {
            server.inviaRisposta(u"OK|\r"_s, index);
            waited = server.aspettaChiusura(index);
            noteClosedFirst = server.socketState(index) == 0;
        } else {
            server.inviaRisposta(u"TestOK|\r"_s, index);
        }
    };
    HandheldClient note(port);
    ASSERT_TRUE(note.waitConnected());
    note.send("P|NotaTavolo|7|Senza glutine|2\r");
    // The note's handler is still waiting here: the other handheld is served meanwhile.
    EXPECT_EQ(exchange(port, "P|TestConnessione|\r"), QByteArray("TestOK|\r"));
    ASSERT_TRUE(note.waitClosed());
    ASSERT_TRUE(pumpUntil([&] { return waited; }));
    EXPECT_TRUE(noteClosedFirst);
    EXPECT_EQ(note.received(), QByteArray("OK|\r"));
    EXPECT_EQ(server.trovaIndiceLibero(), 2);
}

// A handheld outside the allowed networks is refused at its connection: the service's end-to-end
// test reloads a filter and sees the refusal logged.
TEST(ClientFilterTest, NetworksAreReadFromTheConfigurationAndMistakesAreNamed)
{
    ClientFilter all;
    EXPECT_TRUE(all.parse(u"all"_s));
    EXPECT_TRUE(all.allows(QHostAddress(u"8.8.8.8"_s)));
    ClientFilter lan;
    ASSERT_TRUE(lan.parse(u"192.168.1.0/24,10.1.2.3"_s));
    EXPECT_TRUE(lan.allows(QHostAddress(u"::ffff:192.168.1.20"_s)));
    EXPECT_TRUE(lan.allows(QHostAddress(u"10.1.2.3"_s)));
    EXPECT_FALSE(lan.allows(QHostAddress(u"10.1.2.4"_s)));
    QString bad;
    EXPECT_FALSE(lan.parse(u"192.168.1.0/24, cucina"_s, &bad));
    EXPECT_EQ(bad, u"cucina"_s);
}

} // namespace

TEST_F(HandheldServerTest, WorkLeftForAfterTheCloseRunsOnceEachHandheldHasGoneAndIsHeldUntilThen)
{
    // Many handhelds at once, each handler leaving its printing for after its connection closed:
    // nothing waits inside another handler, every piece of work runs once, after its own close.
    int held = 0;
    int released = 0;
    server.setContinuationGuard([&] { ++held; return true; }, [&](bool) { ++released; });
    QList<int> printedAfterClose;
    reply = [&](const QString &, int index) {
        server.inviaRisposta(u"ComandaOK|\r"_s, index);
        server.dopoChiusura(index, [&, index] { printedAfterClose.append(server.socketState(index)); });
    };
    std::vector<std::unique_ptr<HandheldClient>> clients;
    for (int i = 0; i < 30; ++i) {
        clients.push_back(std::make_unique<HandheldClient>(port));
        ASSERT_TRUE(clients.back()->waitConnected());
        clients.back()->send("P|Comanda|x;\r");
    }
    for (auto &c : clients) {
        ASSERT_TRUE(c->waitClosed());
        EXPECT_EQ(c->received(), QByteArray("ComandaOK|\r"));
    }
    ASSERT_TRUE(pumpUntil([&] { return printedAfterClose.size() == 30; }));
    EXPECT_EQ(printedAfterClose.count(0), 30); // the slot was closed when its work ran
    EXPECT_EQ(held, 30);
    EXPECT_EQ(released, 30);
    EXPECT_EQ(server.pendingContinuations(), 0);
    EXPECT_EQ(server.trovaIndiceLibero(), 2);
}
