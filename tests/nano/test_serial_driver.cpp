// SPDX-License-Identifier: GPL-3.0-or-later
// The serial driver against the emulated access point on a real pseudo-terminal: every operation's
// request and reply, and a device that is dead, garbles its frames or sends noise. The menu database
// goes over the same line in the access-point window's test.
#include "EmulatedAccessPoint.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SerialDriverTest : public EmulatedAccessPointTest
{
protected:
    void SetUp() override
    {
        startEmulator(3);
        driver = std::make_unique<SerialAccessPoint>(settings);
        ASSERT_EQ(driver->Dll_OpenSerial(3), 1);
    }
};

TEST_F(SerialDriverTest, EachOperationSendsItsRequestAndTheProbeReadsTheDeviceInformation)
{
    sim.setInfo("AP-2 fw 1.4");
    QByteArray info;
    EXPECT_EQ(driver->Dll_ReqSysInfo(info), 11);
    EXPECT_EQ(info, QByteArray("AP-2 fw 1.4"));
    driver->Dll_EnabledVisibleMode();
    driver->Dll_DisabledVisibleMode();
    driver->Dll_EraseDB(100, 807);
    driver->Dll_SendOrder("1|Pizza Margherita|2|");
    driver->Dll_SendTblList(QByteArray("12|14|") + QByteArray(1994, ' '));
    driver->Dll_SendLockTbl();
    driver->Dll_SendEmptyTbl();
    driver->Dll_FeedBackForMoveTbl(100);
    EXPECT_TRUE(driver->lastCallAnswered());
    const QList<QByteArray> expected = {"I", "Y", "y", "X100,807", "O1|Pizza Margherita|2|",
                                        "T12|14|" + QByteArray(1994, ' '), "K", "E", "W100"};
    EXPECT_EQ(sim.requests(), expected);
    QByteArray version;
    EXPECT_GT(driver->Dll_GetDllVersion(version), 0);
    EXPECT_EQ(sim.requests().size(), expected.size()) << "the version is the driver's own, the device is not asked";
}

TEST_F(SerialDriverTest, PollingHandsOverEachQueuedMessageThenNothing)
{
    sim.queueMessage('V', "PALM1|7|0|12|");
    sim.queueMessage('S', {});
    QByteArray buffer;
    qint32 length = -1;
    EXPECT_EQ(driver->Dll_RxManager(buffer, length), qint32('V'));
    EXPECT_EQ(length, 13);
    EXPECT_EQ(buffer.size(), 2000);
    EXPECT_EQ(buffer.left(13), QByteArray("PALM1|7|0|12|"));
    EXPECT_EQ(buffer.mid(13).trimmed(), QByteArray());
    EXPECT_EQ(driver->Dll_RxManager(buffer, length), qint32('S'));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(driver->Dll_RxManager(buffer, length), 0);
    EXPECT_TRUE(driver->lastCallAnswered()) << "nothing waiting is an answer, not a failure";

    // A message longer than the buffer is ignored.
    sim.queueMessage('T', QByteArray(2001, 'x'));
    sim.queueMessage('l', QByteArray(1999, '7'));
    EXPECT_EQ(driver->Dll_RxManager(buffer, length), 0);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(driver->Dll_RxManager(buffer, length), qint32('l'));
    EXPECT_EQ(length, 1999);
}

TEST_F(SerialDriverTest, ADeadOrGarblingDeviceFailsEveryCallWithinTheTimeoutANoisyOneIsReadThrough)
{
    sim.setMode(DuvuSim::Mode::Dead);
    QByteArray buffer;
    qint32 length = -1;
    EXPECT_EQ(driver->Dll_ReqSysInfo(buffer), 0);
    EXPECT_FALSE(driver->lastCallAnswered());
    sim.queueMessage('T', "x");
    EXPECT_EQ(driver->Dll_RxManager(buffer, length), 0);
    EXPECT_FALSE(driver->lastCallAnswered());
    driver->Dll_SendEmptyTbl();
    EXPECT_FALSE(driver->lastCallAnswered());

    // It comes back: the next call works again without reopening.
    sim.setMode(DuvuSim::Mode::Normal);
    EXPECT_EQ(driver->Dll_RxManager(buffer, length), qint32('T'));
    EXPECT_TRUE(driver->lastCallAnswered());

    // Garbled replies count as no reply.
    sim.setMode(DuvuSim::Mode::Garble);
    EXPECT_EQ(driver->Dll_ReqSysInfo(buffer), 0);
    EXPECT_FALSE(driver->lastCallAnswered());

    // Noise and replies in pieces are read through.
    sim.setMode(DuvuSim::Mode::Noisy);
    sim.queueMessage('l', "4");
    EXPECT_EQ(driver->Dll_RxManager(buffer, length), qint32('l'));
    EXPECT_EQ(buffer.left(length), QByteArray("4"));
    QByteArray info;
    EXPECT_GT(driver->Dll_ReqSysInfo(info), 0);
}

TEST(SerialDriverPorts, PortNumbersMapToDevices)
{
    SerialAccessPoint::Settings s;
    s.devices.insert(3, u"/dev/ttyUSB0"_s);
    EXPECT_EQ(SerialAccessPoint::devicePath(3, s), u"/dev/ttyUSB0"_s);
    EXPECT_EQ(SerialAccessPoint::devicePath(1, s), u"/dev/ttyS0"_s);
    EXPECT_EQ(SerialAccessPoint::devicePath(0, s), QString()) << "a com_nano that is not a port opens nothing";
    SerialAccessPoint driver(s);
    EXPECT_EQ(driver.Dll_OpenSerial(0), 0);
    QByteArray info;
    EXPECT_EQ(driver.Dll_ReqSysInfo(info), 0) << "a closed line answers nothing";
}

} // namespace
