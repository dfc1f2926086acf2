// SPDX-License-Identifier: GPL-3.0-or-later
// The access-point window's actions over the real driver and the emulated device on a
// pseudo-terminal: connecting, visible mode, reception, and sending the menu database.
#include "EmulatedAccessPoint.h"
#include "NanoControl.h"
#include "NanoExport.h"
#include "OperatorUi.h"
#include "StubNanoHandlers.h"
#include "TestSupport.h"
#include "modNano.h"
#include "modPlikoServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class ControlTest : public EmulatedAccessPointTest
{
protected:
    void SetUp() override
    {
        startEmulator(4);
        driver = std::make_unique<SerialAccessPoint>(settings);
        nano = std::make_unique<modNano>(*driver, handlers, database.db(), &ui);
        control = std::make_unique<NanoControl>(*driver, *nano, database.db(), &ui, nanoAttivo);
        control->setCartellaTemporanea([this]() -> QString { return QString(work.path() + u'/'); });
        QObject::connect(control.get(), &NanoControl::progresso, [this](int p) { progress.append(p); });
    }
    QStringList logSince(qsizetype from) const { return control->log().mid(from); }

    RegionalGuard regional;
    TestDatabase database;
    QTemporaryDir work;
    OperatorUi ui;
    StubNanoHandlers handlers{nullptr};
    std::unique_ptr<modNano> nano;
    std::unique_ptr<NanoControl> control;
    bool nanoAttivo = false;
    QList<int> progress;
};

// The window's own test drives the same actions over a recording device; here they go over the line.
TEST_F(ControlTest, ConnectingNeedsAnAnsweringDeviceAndReceptionFirstEndsVisibleModeOnTheLine)
{
    sim.setMode(DuvuSim::Mode::Dead);  // the port opens but nothing answers the probe
    EXPECT_FALSE(control->connettiAccessPoint(4));
    EXPECT_EQ(control->log().last(), u"...Access point non trovato"_s);
    EXPECT_EQ(modPlikoServer(database.db()).leggiVarStr(u"com_nano"_s, {}), u"COM1"_s) << "the demo's port stays";

    sim.setMode(DuvuSim::Mode::Normal);
    ASSERT_TRUE(control->connettiAccessPoint(4));
    EXPECT_EQ(control->log().last(), u"...Access point trovato"_s);
    EXPECT_TRUE(nanoAttivo);
    ASSERT_TRUE(control->abilitaVisibile());
    ASSERT_TRUE(control->abilitaRicezione());
    EXPECT_EQ(sim.requests().mid(sim.requests().size() - 3), (QList<QByteArray>{"Y", "y", "I"}));

    control->chiudiConnessione();
    EXPECT_EQ(control->log().last(), u"...Connessione chiusa "_s);
    EXPECT_FALSE(control->abilitaVisibile());
    EXPECT_EQ(control->log().last(), u"Access poin non connesso"_s);
}

TEST_F(ControlTest, TheDatabaseGoesOverWithItsProgressAndLogLinesAndAFaultyDeviceEndsTheTransfer)
{
    ASSERT_TRUE(control->connettiAccessPoint(4));
    const qsizetype before = control->log().size();
    ASSERT_TRUE(control->inviaDatabase());
    EXPECT_EQ(logSince(before), (QStringList{u"...Disabilitata modalita' visibile "_s,
                                             u"...Inizio trasferimento "_s, u"...Trasferimento finito"_s}));
    EXPECT_EQ(sim.requests().mid(1, 2), (QList<QByteArray>{"y", "X100,807"}))
        << "visible mode off, the file written, then erase and send";
    QFile file(work.filePath(nano::NomeFileDatabase));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray sent = file.readAll();
    EXPECT_EQ(sim.database(), sent);
    EXPECT_EQ(sim.requests().value(3), "F" + QByteArray::number(sent.size())) << "the file announced with its size";
    // 0 at the start, one step per chunk of 512 bytes up to 100, then -1 for done.
    ASSERT_EQ(progress.size(), 2 + (sent.size() + 511) / 512);
    EXPECT_EQ(progress.first(), 0);
    EXPECT_EQ(progress.mid(progress.size() - 2), (QList<int>{100, -1}));

    // A device reporting over 100 ends the transfer at once; one that stops answering ends it with a log line.
    progress.clear();
    sim.setFixedProgress(150);
    ASSERT_TRUE(control->inviaDatabase());
    EXPECT_EQ(progress, (QList<int>{0, 100, -1}));

    progress.clear();
    sim.setFixedProgress(0);
    // The device takes the file announcement, then falls silent.
    QObject::connect(control.get(), &NanoControl::progresso, [this](int p) {
        if (p == 0)
            sim.setMode(DuvuSim::Mode::Dead);
    });
    EXPECT_FALSE(control->inviaDatabase());
    EXPECT_EQ(control->log().last(), u"...Trasferimento interrotto: l'access point non risponde"_s);
    EXPECT_EQ(progress.last(), -1);
}

TEST_F(ControlTest, AnExportThatCannotBeWrittenOrOrdersBeingReceivedLeaveTheHandheldsTheirMenu)
{
    ASSERT_TRUE(control->connettiAccessPoint(4));
    control->setCartellaTemporanea([] { return QString(); });
    EXPECT_FALSE(control->inviaDatabase());
    EXPECT_FALSE(sim.requests().contains("X100,807")) << "nothing erased";
    EXPECT_EQ(control->log().last(), NanoControl::EsportazioneFallita);

    ASSERT_TRUE(control->abilitaRicezione());
    const qsizetype requests = sim.requests().size();
    EXPECT_FALSE(control->inviaDatabase());
    EXPECT_EQ(ui.messages(), QStringList{NanoControl::RifiutoInvio});
    EXPECT_EQ(sim.requests().size(), requests) << "nothing reached the device";
}

} // namespace
