// SPDX-License-Identifier: GPL-3.0-or-later
// Kitchen tickets through the print journal, against the real binary and its spool folders: a
// zone's printer that comes back gets every owed ticket once without a new order, a zone with a
// backup printer moves there, the operator lists and reprints from the shell, and kill -9 at any
// moment of an order stream neither loses nor doubles a ticket, nor leaves a confirmed order in part.
#include "ServerProcess.h"

#include <QRandomGenerator>
#include <atomic>
#include <csignal>
#include <thread>

namespace {

class TicketJournalTest : public ServerBinaryTest
{
protected:
    void SetUp() override
    {
        dbPath = createRestaurant(1);
        socketPath = dir.filePath(u"ctl.sock"_s);
    }
    void avvia(const QString &opzioni)
    {
        extraConfig = opzioni + u"ControlSocket="_s + socketPath + u'\n';
        serve(writeConfig(dbPath));
    }
    void stampante(const QString &nome) { QDir().mkpath(dir.filePath(u"spool/"_s + nome)); }
    // One order of one dish on a table; the server's reply.
    static QByteArray ordina(int tavolo, int articolo, qint64 inizio)
    {
        return exchange("PALM01|Comanda|" + QByteArray::number(inizio) + "|" + QByteArray::number(tavolo)
                        + "|2|1|0|0;M|" + QByteArray::number(articolo) + "|1|9,00|1|x|0|0;\r");
    }
};

constexpr int Carbonara = 108; // kitchen
constexpr int Margherita = 126; // pizzeria

TEST_F(TicketJournalTest, AMissingPrinterGetsEveryOwedTicketOnceWhenItReturnsAndABackupTakesOverItsZone)
{
    backOfficeConfig = u"zona_ristorante_cucina=Cucina|9\nzona_ristorante_pizzeria=Pizzeria|9\n"_s;
    stampante(u"Cassa"_s);
    avvia(u"TicketRetrySeconds=1\nFailoverSeconds=1\nBackupPrinter_pizzeria=Cassa\n"_s);

    constexpr int Ordini = 12;
    for (int i = 0; i < Ordini; ++i)
        ASSERT_EQ(ordina(10 + i, i % 3 == 0 ? Margherita : Carbonara, 3919435200LL + i), "ComandaOK|\r");
    const int pizze = (Ordini + 2) / 3;

    // The pizzeria's tickets move to the till's printer, saying whose they are.
    ASSERT_TRUE(waitFor([&] { return jobs(u"Cassa"_s).size() >= pizze; }, 15000)) << log.toStdString();
    for (const QString &b : jobs(u"Cassa"_s))
        EXPECT_TRUE(b.contains(u"PIZZERIA - STAMPANTE DI RISERVA"_s)) << b.toStdString();

    // The kitchen has no backup: its tickets wait, listed for the operator, and the check says so.
    QString out;
    ASSERT_TRUE(waitFor([&] { return ctl({u"tickets"_s}, &out) == 3; }, 5000)) << out.toStdString();
    EXPECT_EQ(out.count(u"zona cucina"_s), Ordini - pizze) << out.toStdString();
    EXPECT_EQ(out.count(u"zona pizzeria"_s), 0) << out.toStdString();

    // The kitchen's printer returns: every owed ticket prints within the retry period, once.
    stampante(u"Cucina"_s);
    stampante(u"Pizzeria"_s);
    ASSERT_TRUE(waitFor([&] { return jobs(u"Cucina"_s).size() == Ordini - pizze; }, 5000));
    QThread::msleep(2500);
    EXPECT_EQ(jobs(u"Cucina"_s).size(), Ordini - pizze);
    EXPECT_EQ(jobs(u"Cassa"_s).size(), pizze);
    EXPECT_TRUE(jobs(u"Pizzeria"_s).isEmpty());
    for (const QString &b : jobs(u"Cucina"_s))
        EXPECT_TRUE(b.contains(u"RIPROVA"_s) && b.contains(u"Spaghetti alla carbonara"_s)) << b.toStdString();
    EXPECT_EQ(ctl({u"tickets"_s}, &out), 0);
    EXPECT_TRUE(out.contains(u"nessuna comanda da stampare"_s)) << out.toStdString();

    // A reprint on demand prints the order again in full, marked so; a wrong order or zone prints nothing.
    const QString ordine = query(u"SELECT min(id_comanda) FROM merce_comande WHERE id_articolo = 108"_s);
    EXPECT_EQ(ctl({u"reprint"_s, ordine, u"cucina"_s}, &out), 0) << out.toStdString();
    ASSERT_EQ(jobs(u"Cucina"_s).size(), Ordini - pizze + 1);
    EXPECT_TRUE(jobs(u"Cucina"_s).last().contains(u"RISTAMPA"_s));
    const struct
    {
        QStringList args;
        const char *perche;
    } sbagliate[] = {{{u"reprint"_s, u"999999"_s}, "unknown order"},
                     {{u"reprint"_s, ordine, u"sala"_s}, "unknown zone"},
                     {{u"reprint"_s, ordine, u"bar"_s}, "zone without tickets of the order"},
                     {{u"reprint"_s, u"x"_s}, "not an order"}};
    for (const auto &s : sbagliate)
        EXPECT_EQ(ctl(s.args), 1) << s.perche;
    const qsizetype prima = jobs(u"Cucina"_s).size();
    EXPECT_EQ(prima + jobs(u"Bar"_s).size(), Ordini - pizze + 1);

    // A reprint storm from the shell: each prints once and in the order asked, while the handhelds
    // are still answered.
    const QString tavolo11 = query(u"SELECT id_comanda FROM tavoli_occupati WHERE numero_tavolo = 11"_s);
    const QString tavolo12 = query(u"SELECT id_comanda FROM tavoli_occupati WHERE numero_tavolo = 12"_s);
    constexpr int Ristampe = 100;
    std::atomic<int> fallite = 0;
    std::thread tempesta([&] {
        for (int i = 0; i < Ristampe; ++i)
            fallite += ctl({u"reprint"_s, i % 2 ? tavolo12 : tavolo11, u"cucina"_s}) == 0 ? 0 : 1;
    });
    int risposte = 0;
    for (int i = 0; i < 20; ++i)
        risposte += exchange("PALM01|TestConnessione|\r") == "TestOK|\r" ? 1 : 0;
    tempesta.join();
    EXPECT_EQ(risposte, 20);
    EXPECT_EQ(fallite, 0);
    const QStringList tutti = jobs(u"Cucina"_s);
    ASSERT_EQ(tutti.size(), prima + Ristampe);
    for (int i = 0; i < Ristampe; ++i)
        EXPECT_TRUE(tutti[prima + i].contains(i % 2 ? u"TAVOLO 12"_s : u"TAVOLO 11"_s)) << i;
}

TEST_F(TicketJournalTest, KillNineDuringAnOrderStreamNeitherLosesNorDoublesATicket)
{
    backOfficeConfig = u"zona_ristorante_cucina=Cucina|9\n"_s;
    stampante(u"Cucina"_s);
    avvia(u"TicketRetrySeconds=1\n"_s);
    constexpr int Uccisioni = 6;
    for (int k = 0; k < Uccisioni; ++k) {
        OrderStream stream(3, 3);
        QThread::msleep(200 + QRandomGenerator::global()->bounded(600));
        ASSERT_TRUE(signalProcess(server.processId(), SIGKILL)) << log.toStdString();
        ASSERT_TRUE(server.waitForFinished(10000));
        stream.stop();
        log.clear();
        serve(dir.filePath(u"plikoserver.ini"_s));
        // After the restart every confirmed order is there with all its lines, and no order is partial.
        stream.expectEveryConfirmedOrderWhole(dbPath);
    }
    // Nothing is owed any more, and each ticket the journal holds reached the kitchen exactly once.
    ASSERT_TRUE(waitFor([&] { return query(u"SELECT count(*) FROM pliko_stampe WHERE stato <> 2"_s) == u"0"_s; },
                        10000));
    QThread::msleep(1500);
    const int biglietti_ = query(u"SELECT count(*) FROM pliko_stampe"_s).toInt();
    ASSERT_GT(biglietti_, 0);
    EXPECT_EQ(jobs(u"Cucina"_s).size(), biglietti_);
    EXPECT_EQ(query(u"SELECT count(*) FROM merce_comande WHERE qta_stampata < quantita"_s), u"0"_s);
    EXPECT_FALSE(jobs(u"Cucina"_s).join(QString()).contains(u"RISTAMPA"_s));
}

} // namespace
