// SPDX-License-Identifier: GPL-3.0-or-later
// The radio side of the real plikoserver program: the access point is emulated on a pseudo-terminal,
// handheld messages are answered, orders land in the database and tickets on spool printers, and
// pliko-ctl drives the window's actions from a shell.
#include "DuvuSim.h"
#include "ServerProcess.h"

#include <QThread>

namespace {

class RadioOverSerial : public ServerBinaryTest
{
protected:
    // The server with a radio restaurant on COM3, reached through a link in the test's folder (so that
    // a new device can take its place); palmare_configurato is service.
    void avvia(qint32 service = 2, DuvuSim::Mode mode = DuvuSim::Mode::Normal, const QString &more = {})
    {
        zones(u"cucina=Cucina pizzeria=Pizzeria bar=Bar preconto=Preconto"_s);
        QString error;
        ASSERT_TRUE(sim.openPty(&error)) << error.toStdString();
        sim.setMode(mode);
        sim.start();
        ASSERT_TRUE(QFile::link(sim.devicePath(), devicePath()));
        dbPath = createRestaurant(service);
        // After a menu export: waiters numbered by their codes, variations by id and category. A
        // business day of yesterday and today, so that the orders of this very moment are open in it.
        for (const QString &sql : {u"UPDATE var_str SET value = 'COM3' WHERE name = 'com_nano'"_s,
                                   u"UPDATE var_str SET value = '0' WHERE name = 'ora_apertura_attivita'"_s,
                                   u"UPDATE var_str SET value = '172800' WHERE name = 'ora_chiusura_attivita'"_s,
                                   u"UPDATE clfn SET id_nano = codice WHERE operatore AND NOT cancellato"_s,
                                   u"UPDATE variazioni_comande_categorie SET id_nano = id_variazione * 10 + "
                                   "id_tipo_merce"_s})
            ASSERT_EQ(query(sql, true), u"ok"_s) << sql.toStdString();
        socketPath = dir.filePath(u"ctl.sock"_s);
        // The kitchen has a screen: its radio rounds go to the print journal the screens read.
        extraConfig = u"Com3="_s + devicePath() + u"\nDatabaseLingerMs=100\nScreenZones=cucina\nControlSocket="_s
                      + socketPath + u'\n' + (more.contains(u"AccessPointTimeoutMs"_s) ? QString()
                                                                                     : u"AccessPointTimeoutMs=300\n"_s)
                      + more;
        startProcess(server, {u"--headless"_s, u"--config"_s, writeConfig(dbPath)});
        if (service == 2 && mode == DuvuSim::Mode::Normal) {
            ASSERT_TRUE(waitForLog(u"servizio Duvu attivo"_s)) << log.toStdString();
        }
    }
    QString devicePath() const { return dir.filePath(u"ap"_s); }
    QString status()
    {
        QString out;
        ctl({u"status"_s}, &out);
        return out;
    }
    // The link comes up by hand after start-up: the shell connects and switches reception on, the
    // handheld service closes its database in the meantime, and a radio order is recorded and printed.
    void collegaEOrdina()
    {
        sim.setMode(DuvuSim::Mode::Normal);
        ASSERT_EQ(ctl({u"duvu"_s, u"connect"_s, u"3"_s}), 0) << log.toStdString();
        ASSERT_EQ(ctl({u"duvu"_s, u"reception"_s, u"on"_s}), 0) << log.toStdString();
        QThread::msleep(500); // longer than the handheld service keeps its database open
        sim.queueMessage('T', "PALM1|2|0|5|0|0|P|108|1|1100|0|1|0|0|0|.|");
        ASSERT_TRUE(waitForPrint(u"Cucina"_s, u"Spaghetti alla carbonara"_s))
            << log.toStdString();
        EXPECT_EQ(query(u"SELECT count(*) FROM merce_comande"_s), u"1"_s);
        EXPECT_FALSE(log.contains(u"Database non aperto"_s)) << log.toStdString();
    }
    DuvuSim sim;
};

TEST_F(RadioOverSerial, ARadioRestaurantIsServedFromStartAndDrivenFromTheShell)
{
    avvia();
    // Start-up polls by itself: messages are answered as they come.
    sim.queueMessage('V', "PALM1|3|0|99|"); // no such table: no reply
    sim.queueMessage('S', {});
    sim.queueMessage('L', {});
    sim.queueMessage('V', "PALM1|3|0|12|");
    ASSERT_TRUE(waitFor([&] { return sim.replies().size() >= 2; }));
    EXPECT_EQ(sim.replies().at(0), "T.|" + QByteArray(1998, ' '));
    EXPECT_EQ(sim.replies().at(1), "E");

    QString out;
    EXPECT_EQ(ctl({u"status"_s}, &out), 0);
    EXPECT_TRUE(out.contains(u"collegato su COM 3"_s)) << out.toStdString();
    EXPECT_TRUE(out.contains(u"ricezione ordini: attiva"_s)) << out.toStdString();

    // The shell drives the window's actions (their texts are the control's own tests).
    EXPECT_EQ(ctl({u"duvu"_s, u"send-db"_s}), 1);
    EXPECT_EQ(ctl({u"duvu"_s, u"reception"_s, u"off"_s}), 0);
    EXPECT_EQ(ctl({u"duvu"_s, u"send-db"_s}, &out), 0);
    EXPECT_TRUE(out.endsWith(u"...Inizio trasferimento \n...Trasferimento finito\n"_s)) << out.toStdString();
    EXPECT_TRUE(sim.database().startsWith("D1|")) << sim.database().left(40).toStdString();
    EXPECT_TRUE(sim.database().endsWith("K6|in 2 piatti;\r\n:\r\n"));

    EXPECT_EQ(ctl({u"duvu"_s, u"connect"_s, u"tre"_s}), 1);
    EXPECT_EQ(ctl({u"duvu"_s, u"close"_s}), 0);
    EXPECT_EQ(ctl({u"duvu"_s, u"connect"_s, u"3"_s}), 0);
    EXPECT_EQ(ctl({u"duvu"_s, u"reception"_s, u"on"_s}), 0);
    EXPECT_EQ(stop(), 0);
}

TEST_F(RadioOverSerial, ARadioOrderIsRecordedPrintedInTheKitchenAndServedBackToTheHandhelds)
{
    avvia();
    // Giulia (2), table 5: a carbonara, a margherita with extra mozzarella, then the pre-bill.
    sim.queueMessage('T', "PALM1|2|0|5|0|0|P|108|1|1100|0|1|0|0|0|P|126|1|700|0|2|0|m|0|+|25|1|150|0|0|0|D|1|.|"
                          "$ben cotta|");
    ASSERT_TRUE(waitForPrint(u"Cucina"_s, u"Spaghetti alla carbonara"_s))
        << log.toStdString();
    ASSERT_TRUE(waitForPrint(u"Pizzeria"_s, u"+ Extra mozzarella"_s))
        << printed(u"Pizzeria"_s).toStdString();
    EXPECT_TRUE(printed(u"Pizzeria"_s).contains(u"+ ben cotta"_s));
    EXPECT_TRUE(printed(u"Preconto"_s).contains(u"Margherita"_s)) << printed(u"Preconto"_s).toStdString();
    EXPECT_EQ(query(u"SELECT id_operatore & '/' & totale & '/' & pre_conto FROM comande"_s), u"2/19.5/-1"_s);

    // A second round: one more carbonara. The kitchen gets only that one.
    sim.queueMessage('T', "PALM1|2|0|5|0|0|P|108|2|1100|0|1|0|0|0|P|126|1|700|0|2|0|m|0|+|25|1|150|0|0|0|.|"
                          "$ben cotta|");
    ASSERT_TRUE(waitFor([&] { return jobs(u"Cucina"_s).size() == 2; })) << log.toStdString();
    EXPECT_TRUE(jobs(u"Cucina"_s).at(1).contains(u"1 Spaghetti alla carbonara"_s))
        << printed(u"Cucina"_s).toStdString();
    EXPECT_EQ(jobs(u"Pizzeria"_s).size(), 1);
    EXPECT_EQ(query(u"SELECT count(*) FROM comande"_s), u"1"_s);
    // Each kitchen round is a printed ticket of the journal, as the kitchen screen shows it.
    // (The journal row follows the print on the radio path.)
    EXPECT_TRUE(waitFor([&] {
        return query(u"SELECT count(*) & '/' & sum(stato) FROM pliko_stampe WHERE zona = 2"_s) == u"2/4"_s;
    }));

    // The handhelds read the table back as it was recorded (lists and moves are the tables' own tests).
    sim.queueMessage('V', "PALM1|3|0|5|");
    ASSERT_TRUE(waitFor([&] { return sim.replies().size() >= 1; })) << log.toStdString();
    EXPECT_EQ(sim.replies().at(0), "OO|2|T|5|M|1|G|1|4|800|0|0|0|P|108|2|1100|0|1|0|P|126|1|700|0|2|0|m|0|1|0|0|0|0|"
                                   "+|25|1|150|0|0|0|$|ben cotta|.|");
    EXPECT_EQ(stop(), 0);
}

TEST_F(RadioOverSerial, AnAccessPointDeadAtStartIsReportedTheServerStaysUpAndOrdersOnceItIsConnected)
{
    avvia(2, DuvuSim::Mode::Dead);
    ASSERT_TRUE(waitForLog(u"Problema di connessione all'access point"_s)) << log.toStdString();
    EXPECT_TRUE(status().contains(u"non collegato"_s)) << status().toStdString();
    QString out;
    EXPECT_EQ(ctl({u"duvu"_s, u"connect"_s, u"3"_s}, &out), 1);
    EXPECT_TRUE(out.endsWith(u"...Access point non trovato\n"_s)) << out.toStdString();
    collegaEOrdina();
    EXPECT_EQ(stop(), 0);
}

// Beside the handheld service: radio orders are recorded, and while the access point falls silent with
// a long timeout, a handheld is answered while the poll still waits for the device.
TEST_F(RadioOverSerial, BesideTheHandheldServiceRadioOrdersAreRecordedAndASilentAccessPointHoldsUpNoHandheld)
{
    avvia(1, DuvuSim::Mode::Normal, u"AccessPointTimeoutMs=5000\nLogLevel=debug\n"_s);
    ASSERT_TRUE(waitForLog(u"servizio palmari in ascolto"_s)) << log.toStdString();
    collegaEOrdina();
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
TEST_F(RadioOverSerial, AnUnpluggedAccessPointIsToldOnceAndReopenedWhenItIsBack)
{
    avvia();
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
