// SPDX-License-Identifier: GPL-3.0-or-later
// The radio service of the real binary: start-up opens the access point emulated on a
// pseudo-terminal and starts polling; handheld messages are answered; pliko-ctl drives the
// window's actions from a shell.
#include "DuvuSim.h"
#include "ServerProcess.h"

#include <QThread>

namespace {

class RadioBinaryTest : public ServerBinaryTest
{
protected:
    // The server with the emulated access point on COM3, reached through a link in the test's folder
    // (so that a new device can take its place); service is palmare_configurato.
    void startRadio(DuvuSim::Mode mode = DuvuSim::Mode::Normal, qint32 service = 2, const QString &more = {})
    {
        QString error;
        ASSERT_TRUE(sim.openPty(&error)) << error.toStdString();
        sim.setMode(mode);
        sim.start();
        ASSERT_TRUE(QFile::link(sim.devicePath(), devicePath()));
        dbPath = createRestaurant(service);
        ASSERT_EQ(query(u"UPDATE var_str SET value = 'COM3' WHERE name = 'com_nano'"_s, true), u"ok"_s);
        socketPath = dir.filePath(u"ctl.sock"_s);
        extraConfig = u"Com3="_s + devicePath() + u"\nControlSocket="_s + socketPath + u'\n'
                      + (more.contains(u"AccessPointTimeoutMs"_s) ? QString() : u"AccessPointTimeoutMs=300\n"_s) + more;
        start({u"--headless"_s, u"--config"_s, writeConfig(dbPath)});
    }
    QString devicePath() const { return dir.filePath(u"ap"_s); }
    QString status()
    {
        QString out;
        ctl({u"status"_s}, &out);
        return out;
    }
    DuvuSim sim;
};

TEST_F(RadioBinaryTest, ARadioRestaurantIsServedFromStartAndDrivenFromTheShell)
{
    startRadio();
    ASSERT_TRUE(waitForLog(u"servizio Duvu attivo"_s)) << log.toStdString();

    // Start-up polls by itself: messages are answered as they come.
    sim.queueMessage('V', "PALM1|3|0|99|");  // no such table: no reply
    sim.queueMessage('S', {});
    sim.queueMessage('L', {});
    sim.queueMessage('V', "PALM1|3|0|12|");
    ASSERT_TRUE(waitFor([&] { return sim.replies().size() >= 2; }));
    const QList<QByteArray> replies = sim.replies();
    EXPECT_EQ(replies.at(0), "T.|" + QByteArray(1998, ' '));
    EXPECT_EQ(replies.at(1), "E");

    QString out;
    EXPECT_EQ(ctl({u"status"_s}, &out), 0);
    EXPECT_TRUE(out.contains(u"collegato su COM 3"_s)) << out.toStdString();
    EXPECT_TRUE(out.contains(u"ricezione ordini: attiva"_s)) << out.toStdString();

    EXPECT_EQ(ctl({u"duvu"_s, u"send-db"_s}, &out), 1);
    EXPECT_EQ(out.trimmed(), u"Disabilitare la ricezione degli ordini prima di inviare il DB"_s);
    EXPECT_EQ(ctl({u"duvu"_s, u"reception"_s, u"off"_s}, &out), 0);
    EXPECT_EQ(out.trimmed(), u"...Disabilitata ricezione"_s);
    EXPECT_EQ(ctl({u"duvu"_s, u"send-db"_s}, &out), 0);
    EXPECT_TRUE(out.endsWith(u"...Inizio trasferimento \n...Trasferimento finito\n"_s)) << out.toStdString();
    const QByteArray menu = sim.database();
    EXPECT_TRUE(menu.startsWith("D1|")) << menu.left(40).toStdString();
    EXPECT_TRUE(menu.endsWith("K6|in 2 piatti;\r\n:\r\n"));

    EXPECT_EQ(ctl({u"duvu"_s, u"connect"_s, u"tre"_s}, &out), 1);
    EXPECT_EQ(ctl({u"duvu"_s, u"close"_s}, &out), 0);
    EXPECT_EQ(out.trimmed(), u"...Connessione chiusa"_s);
    EXPECT_EQ(ctl({u"duvu"_s, u"connect"_s, u"3"_s}, &out), 0);
    EXPECT_EQ(out, u"...Ricerca Access point su COM 3\n...Access point trovato\n"_s);
    EXPECT_EQ(ctl({u"duvu"_s, u"reception"_s, u"on"_s}), 0);

    EXPECT_EQ(stop(), 0);
}

TEST_F(RadioBinaryTest, ADeadAccessPointAtStartIsReportedAndTheServerStaysUp)
{
    startRadio(DuvuSim::Mode::Dead);
    ASSERT_TRUE(waitForLog(u"Problema di connessione all'access point"_s)) << log.toStdString();
    QString out;
    EXPECT_EQ(ctl({u"status"_s}, &out), 0);
    EXPECT_TRUE(out.contains(u"non collegato"_s)) << out.toStdString();
    EXPECT_EQ(ctl({u"duvu"_s, u"connect"_s, u"3"_s}, &out), 1);
    EXPECT_TRUE(out.endsWith(u"...Access point non trovato\n"_s)) << out.toStdString();
    EXPECT_EQ(stop(), 0);
}

// Beside the handheld service, the access point falls silent with a long timeout: a handheld is
// answered while the poll still waits for the device.
TEST_F(RadioBinaryTest, AHandheldIsAnsweredWhileTheAccessPointKeepsAPollWaiting)
{
    startRadio(DuvuSim::Mode::Normal, 1, u"AccessPointTimeoutMs=5000\nLogLevel=debug\n"_s);
    ASSERT_TRUE(waitForLog(u"servizio palmari in ascolto"_s)) << log.toStdString();
    ASSERT_EQ(ctl({u"duvu"_s, u"connect"_s, u"3"_s}), 0);
    ASSERT_EQ(ctl({u"duvu"_s, u"reception"_s, u"on"_s}), 0);
    sim.setMode(DuvuSim::Mode::Dead);
    const qsizetype before = sim.requests().size();
    ASSERT_TRUE(waitFor([&] { return sim.requests().size() > before; }));
    EXPECT_EQ(exchange("PALM09|TestConnessione|\r"), QByteArray("TestOK|\r"));
    log += QString::fromUtf8(server.readAllStandardError());
    EXPECT_FALSE(log.contains(u"nessuna risposta alla richiesta R"_s)) << "the poll was still waiting";
    EXPECT_EQ(stop(), 0);
}

// The device is unplugged under the running server: told once, shown in the status, and the port
// is opened again when a device is back at its path.
TEST_F(RadioBinaryTest, AnUnpluggedAccessPointIsToldOnceAndReopenedWhenItIsBack)
{
    startRadio();
    ASSERT_TRUE(waitForLog(u"servizio Duvu attivo"_s)) << log.toStdString();
    sim.unplug();
    ASSERT_TRUE(waitForLog(u"Access point scollegato"_s)) << log.toStdString();
    QThread::msleep(300);
    log += QString::fromUtf8(server.readAllStandardError());
    const qsizetype told = log.count(u"Access point scollegato"_s);
    EXPECT_TRUE(status().contains(u"scollegato da COM 3"_s)) << status().toStdString();

    QString error;
    ASSERT_TRUE(sim.openPty(&error)) << error.toStdString();
    sim.start();
    QFile::remove(devicePath());
    ASSERT_TRUE(QFile::link(sim.devicePath(), devicePath()));
    ASSERT_TRUE(waitForLog(u"Access point ricollegato"_s)) << log.toStdString();
    sim.queueMessage('V', "PALM1|3|0|12|");
    EXPECT_TRUE(waitFor([&] { return sim.replies().size() == 1; })) << log.toStdString();
    EXPECT_EQ(log.count(u"Access point scollegato"_s), told) << "told once, not per poll";
    EXPECT_TRUE(status().contains(u"collegato su COM 3"_s));
    EXPECT_EQ(stop(), 0);
}

} // namespace
