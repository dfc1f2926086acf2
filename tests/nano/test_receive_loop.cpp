// SPDX-License-Identifier: GPL-3.0-or-later
// The radio receive loop: each kind of handheld message reaches its handler and gets the one reply
// its kind calls for; broken messages and a silent device never stop the polling.
#include "NanoHandlers.h"
#include "OperatorUi.h"
#include "RecordingAccessPoint.h"
#include "TestSupport.h"
#include "modNano.h"

#include <gtest/gtest.h>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

class ScriptedHandlers : public NanoHandlers
{
public:
    void salvaComandaNano(const QByteArray &body) override
    {
        calls.append("T:" + body);
        if (duringOrder)
            duringOrder();
    }
    QByteArray statoTavoloNano(qint16 table) override
    {
        calls.append("V:" + QByteArray::number(table));
        return view;
    }
    QByteArray listaTavoliNano(qint32 op) override
    {
        calls.append("l:" + QByteArray::number(op));
        return list;
    }
    qint32 spostaTavoloNano(const QByteArray &body) override
    {
        calls.append("N:" + body);
        return moveCode;
    }
    QByteArray view = "E";
    QByteArray list = "12|14|";
    qint32 moveCode = 0;
    std::function<void()> duringOrder;
    QList<QByteArray> calls;
};

class ReceiveLoopTest : public ::testing::Test
{
protected:
    ReceiveLoopTest() : nano(ap, handlers, database.db(), &ui) {}
    // One message through one tick.
    void receive(const QByteArray &message)
    {
        ap.messages.append(message);
        nano.tick();
    }

    RegionalGuard regional;
    TestDatabase database;  // the demo restaurant: tables 1 to 20
    OperatorUi ui;
    RecordingAccessPoint ap;
    ScriptedHandlers handlers;
    modNano nano;
};

struct MessageCase
{
    const char *name;
    QByteArray message;
    QByteArray view;  // what statoTavoloNano answers
    QList<QByteArray> calls;
    QList<QByteArray> sent;
};

TEST_F(ReceiveLoopTest, EachMessageKindGetsItsHandlerAndItsOneReply)
{
    const QByteArray list2000 = "T12|14|" + QByteArray(2000 - 6, ' ');
    const QList<MessageCase> cases = {
        {"an order is recorded, nothing is answered", "TPALM1|12|2|101|1|", "E", {"T:PALM1|12|2|101|1|"}, {}},
        {"a free table answers empty", "VPALM1|3|0|12|", "E", {"V:12"}, {"E"}},
        {"a table in use on the till answers locked", "VPALM1|3|0|12|", "L", {"V:12"}, {"K"}},
        {"an open order goes out without its padding", "VPALM1|3|0|7|", "  7|Marco|101|2|  ", {"V:7"},
         {"O7|Marco|101|2|"}},
        {"a view longer than the radio buffer answers locked, never cut", "VPALM1|3|0|7|",
         "O|1|T|7|" + QByteArray(2000, '9') + ".|", {"V:7"}, {"K"}},
        {"a table the restaurant does not have gets no reply", "VPALM1|3|0|99|", "E", {}, {}},
        {"a view request with three fields is ignored", "VPALM1|3|12", "E", {}, {}},
        {"a table number beyond 16 bits is ignored", "VPALM1|3|0|70000|", "E", {}, {}},
        {"a waiter's table list is sent as exactly 2000 characters", "l3", "E", {"l:3"}, {list2000}},
        {"the list of every table", "L", "E", {"l:0"}, {list2000}},
        {"a table move answers the handler's code", "NPALM1|3|0|12|0|14|", "E", {"N:PALM1|3|0|12|0|14|"}, {"W0"}},
        {"a move with five fields is ignored", "NPALM1|3|0|12|0|", "E", {}, {}},
        {"S needs nothing", "S", "E", {}, {}},
        {"an unknown kind gets nothing", "Qwhatever", "E", {}, {}},
    };
    for (const MessageCase &c : cases) {
        handlers.calls.clear();
        handlers.view = c.view;
        ap.sent.clear();
        receive(c.message);
        EXPECT_EQ(handlers.calls, c.calls) << c.name;
        EXPECT_EQ(ap.sent, c.sent) << c.name;
    }
    // A table list longer than the buffer is cut to 2000.
    handlers.list = QByteArray(2500, '9');
    ap.sent.clear();
    receive("L");
    EXPECT_EQ(ap.sent, QList<QByteArray>{"T" + QByteArray(2000, '9')});
}

TEST_F(ReceiveLoopTest, TheTimerIsOffDuringATickAndBackOnAfterIt)
{
    nano.abilitaRicezione();
    EXPECT_TRUE(nano.TimerNano().isActive());
    EXPECT_EQ(nano.TimerNano().interval(), 250);
    bool activeDuringOrder = true;
    handlers.duringOrder = [&] { activeDuringOrder = nano.TimerNano().isActive(); };
    receive("T1|");
    EXPECT_FALSE(activeDuringOrder) << "a second tick must not start while an order prints";
    EXPECT_TRUE(nano.TimerNano().isActive());

    // Polling goes on after a request for a table that does not exist.
    receive("VPALM1|3|0|99|");
    EXPECT_TRUE(nano.TimerNano().isActive());

    // Reception switched off while an order prints stays off.
    handlers.duringOrder = [&] { nano.disabilitaRicezione(); };
    receive("T1|");
    EXPECT_FALSE(nano.TimerNano().isActive());
    EXPECT_FALSE(nano.ricezioneAttiva());
}

TEST_F(ReceiveLoopTest, ASilentDeviceIsReportedOnceAndPollingRecoversByItself)
{
    nano.abilitaRicezione();
    ap.answering = false;
    for (int i = 0; i < 12; ++i)
        nano.tick();
    EXPECT_EQ(ui.messages(), QStringList{modNano::NotAnswering});
    EXPECT_TRUE(nano.TimerNano().isActive()) << "polling goes on, so the link comes back by itself";
    EXPECT_EQ(nano.TimerNano().interval(), modNano::MaxPollIntervalMs) << "less and less often";

    ap.answering = true;
    receive("VPALM1|3|0|12|");
    EXPECT_EQ(ap.sent, QList<QByteArray>{"E"});
    EXPECT_TRUE(ui.statusLines().contains(u"Access point di nuovo raggiungibile"_s));
    EXPECT_EQ(nano.TimerNano().interval(), modNano::TickMs);
    ap.answering = false;
    for (int i = 0; i < 5; ++i)
        nano.tick();
    EXPECT_EQ(ui.messages().size(), 2) << "a second outage is told again";
}

} // namespace
