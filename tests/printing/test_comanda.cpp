// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintingFixture.h"
#include "TicketDelivery.h"

#include <functional>

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// The lines of a radio order as recorded: line key -> content.
SnapshotRighe snapshot(std::initializer_list<std::pair<QString, QString>> righe)
{
    SnapshotRighe s;
    for (const auto &[k, v] : righe)
        s.insert(k, v);
    return s;
}

} // namespace

using KitchenTickets = PrintingFixture;
using RadioKitchenTickets = PrintingFixture;

TEST_F(KitchenTickets, BarKitchenAndTillEachGetTheirOwnDishesAndTheOrderIsMarkedPrinted)
{
    configura({{4, u"Bar"_s}, {2, u"Cucina"_s}, {1, u"Cassa"_s}});
    // A job of before a restart: the spool numbers on from it and leaves it alone.
    QFile earlier(QDir(spoolDir()).filePath(u"Bar/000041.pdf"_s));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier job");
    earlier.close();
    const qint32 c = nuovaComanda(5, 1);
    const qint32 birra = nuovaRiga(c, Birra, 1);
    const qint32 pasta = nuovaRiga(c, Carbonara, 2);
    const qint32 pizza = nuovaRiga(c, Margherita, 1); // the pizzeria has no printer

    frm->stampaComanda(c, u"5"_s);

    const auto bar = biglietti(u"Bar"_s);
    const auto cucina = biglietti(u"Cucina"_s);
    const auto cassa = biglietti(u"Cassa"_s);
    ASSERT_EQ(bar.size() + cucina.size() * 10 + cassa.size() * 100, 111);
    EXPECT_EQ(righe(bar[0]), QStringList({u"Turno 1"_s, u"1 Birra alla spina 0,4"_s}));
    EXPECT_EQ(righe(cucina[0]), QStringList({u"Turno 1"_s, u"2 Spaghetti alla carbonara"_s}));
    EXPECT_TRUE(cassa[0].contains(u"Birra alla spina 0,4"_s) && cassa[0].contains(u"Spaghetti alla carbonara"_s));
    for (const auto &t : {bar[0], cucina[0], cassa[0]}) {
        EXPECT_TRUE(t.contains(u"** TAVOLO 5 **"_s)) << t.toStdString();
        EXPECT_TRUE(t.contains(u"Comanda delle ore: 12:00"_s));
        EXPECT_TRUE(t.contains(u"Cameriere: Marco"_s));
    }
    // Every text has its PDF beside it.
    EXPECT_TRUE(QFileInfo::exists(QDir(spoolDir()).filePath(u"Bar/000042.pdf"_s)));
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), QByteArray("earlier job"));
    EXPECT_EQ(qtaStampata(birra), u"1"_s);
    EXPECT_EQ(qtaStampata(pasta), u"2"_s);
    EXPECT_EQ(qtaStampata(pizza), u"1"_s); // marked with the rest: nobody would print it
    EXPECT_TRUE(ui.messages().isEmpty());
}

TEST_F(KitchenTickets, AFollowingRoundPrintsOnlyWhatWasAdded)
{
    configura({{4, u"Bar"_s}, {2, u"Cucina"_s}, {1, u"Cassa"_s}});
    const qint32 c = nuovaComanda();
    nuovaRiga(c, Birra, 1, 1, 1);
    const qint32 pasta = nuovaRiga(c, Carbonara, 3, 1, 1);
    // A line the back office marked printed is never printed.
    const qint32 segnata = nuovaRiga(c, Tagliata, 1);
    tdb.exec(u"UPDATE merce_comande SET gia_stampata = 1 WHERE id_merce_comanda = "_s + QString::number(segnata));

    // Sent again with nothing new: no ticket anywhere.
    for (int volta = 0; volta < 2; ++volta) {
        frm->stampaComanda(c, u"5"_s);
        EXPECT_TRUE(biglietti(u"Bar"_s).isEmpty());
        EXPECT_EQ(biglietti(u"Cucina"_s).size() + biglietti(u"Cassa"_s).size(), 2);
        EXPECT_EQ(righeDi(u"Cucina"_s), QStringList({u"Turno 1"_s, u"2 Spaghetti alla carbonara"_s}));
        EXPECT_EQ(righeDi(u"Cassa"_s), righeDi(u"Cucina"_s));
        EXPECT_EQ(qtaStampata(pasta), u"3"_s);
    }
}

TEST_F(KitchenTickets, VariationsFollowTheirDishIndentedLongNamesGoOnUnderThemselvesAndCoursesHaveHeaders)
{
    configura(2, u"Cucina"_s);
    tdb.exec(u"INSERT INTO magazzino (codice, descrizione, id_tipo_merce, articolo_restaurant) VALUES (900, "
             "'Spaghetti alla carbonara con doppia porzione di guanciale croccante', 2, true)"_s);
    const qint32 c = nuovaComanda();
    const qint32 tagliata = nuovaRiga(c, Tagliata, 1, 2);
    nuovaVariazione(tagliata, u"Al sangue"_s, 10);
    nuovaVariazione(tagliata, u"Senza cipolla"_s, 1);
    nuovaVariazione(nuovaRiga(c, 900, 1, 1), u"Senza pepe"_s);

    frm->stampaComanda(c, u"5, 6"_s);

    const auto cucina = biglietti(u"Cucina"_s);
    ASSERT_EQ(cucina.size(), 1);
    EXPECT_EQ(righe(cucina[0]),
              QStringList({u"Turno 1"_s, u"1 Spaghetti alla carbonara con doppia"_s, u"+ Senza pepe"_s, u"Turno 2"_s,
                           u"1 Tagliata di manzo"_s, u"+ Al sangue"_s, u"+ Senza cipolla"_s}));
    // A long name goes on under itself; the variation stands six blanks into the description column,
    // as the waiter's note to the cook.
    const QStringList lines = cucina[0].split(u'\n');
    const qsizetype first = lines.indexOf(u"    1 Spaghetti alla carbonara con doppia"_s);
    ASSERT_GE(first, 0) << cucina[0].toStdString();
    EXPECT_EQ(lines.value(first + 1), u"      porzione di guanciale croccante"_s);
    EXPECT_EQ(lines.value(first + 2), u"            + Senza pepe"_s);
    EXPECT_TRUE(cucina[0].contains(u"** TAVOLO 5, 6 **"_s));
}

TEST_F(KitchenTickets, AMissingKitchenPrinterHoldsBackOnlyTheKitchenWhoseTicketIsOwedUntilItPrints)
{
    configura({{4, u"Bar"_s}, {1, u"Cassa"_s}, {3, u"Pizzeria"_s}});
    configura(2, u"Cucina"_s, {}, false);
    const qint32 c = nuovaComanda();
    nuovaRiga(c, Birra, 1);
    nuovaRiga(c, Carbonara, 2);
    nuovaRiga(c, Margherita, 1);

    frm->stampaComanda(c, u"5"_s);

    // Bar, till and pizzeria print at once; the operator hears which printer failed.
    ASSERT_EQ(biglietti(u"Bar"_s).size() + biglietti(u"Cassa"_s).size() * 10 + biglietti(u"Pizzeria"_s).size() * 100, 111);
    EXPECT_EQ(righeDi(u"Pizzeria"_s), QStringList({u"Turno 1"_s, u"1 Margherita"_s}));
    EXPECT_TRUE(biglietti(u"Cassa"_s)[0].contains(u"2 Spaghetti alla carbonara"_s));
    EXPECT_EQ(ui.messages(), QStringList{frmStampeDocumenti::MsgConfigurazioneStampante + u" (Cucina)"_s});
    // The kitchen's ticket is owed in the journal, with its error.
    EXPECT_EQ(tdb.scalar(u"SELECT tentativi FROM pliko_stampe WHERE stato = 3 AND zona = 2"_s), u"1"_s);
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM pliko_stampe WHERE stato = 2"_s), u"3"_s);

    // A retry while the kitchen is still down tells the operator nothing new.
    EXPECT_EQ(frm->consegna().riprova(), 0);
    EXPECT_EQ(ui.messages().size(), 1);

    // The kitchen printer is back; the table's next order adds a steak. The kitchen gets the pasta it
    // was owed, as a retry, then the steak; the till gets only the steak; bar and pizzeria nothing.
    QDir(spoolDir()).mkpath(u"Cucina"_s);
    nuovaRiga(c, Tagliata, 1);
    frm->stampaComanda(c, u"5"_s);

    const auto cucina = biglietti(u"Cucina"_s);
    ASSERT_EQ(cucina.size(), 2);
    EXPECT_EQ(righe(cucina[0]), QStringList({u"Turno 1"_s, u"2 Spaghetti alla carbonara"_s}));
    EXPECT_TRUE(cucina[0].contains(TicketDelivery::EtichettaRiprova)) << cucina[0].toStdString();
    EXPECT_EQ(righe(cucina[1]), QStringList({u"Turno 1"_s, u"1 Tagliata di manzo"_s}));
    EXPECT_EQ(righeDi(u"Cassa"_s, 1), QStringList({u"Turno 1"_s, u"1 Tagliata di manzo"_s}));
    const auto quanti = [this] {
        return biglietti(u"Cucina"_s).size() + biglietti(u"Cassa"_s).size() * 10 + biglietti(u"Bar"_s).size() * 100
               + biglietti(u"Pizzeria"_s).size() * 1000;
    };
    EXPECT_EQ(quanti(), 1122);

    // Nothing is owed any more: a further print or retry prints nothing anywhere.
    frm->stampaComanda(c, u"5"_s);
    EXPECT_EQ(frm->consegna().riprova(), 0);
    EXPECT_EQ(quanti(), 1122);
}

TEST_F(KitchenTickets, ATicketThePrinterDidNotTakeIsRetriedWithoutANewOrderAndPrintsOnce)
{
    // A printer folder where nothing can be written (even by root): the job is refused.
    const QString cartella = QDir(spoolDir()).filePath(u"Cassa"_s);
    ASSERT_TRUE(QFile::link(u"/proc/self"_s, cartella));
    configura(1, u"Cassa"_s, u"Cassa|9"_s, false);
    const qint32 c = nuovaComanda();
    nuovaRiga(c, Carbonara, 1);

    frm->stampaComanda(c, u"5"_s);
    EXPECT_EQ(ui.messages(), QStringList{frmStampeDocumenti::MsgErroreStampa + u"Cassa"_s});
    EXPECT_NE(tdb.scalar(u"SELECT errore FROM pliko_stampe WHERE stato = 3"_s), QString());

    ASSERT_TRUE(QFile::remove(cartella));
    QDir(spoolDir()).mkpath(u"Cassa"_s);
    EXPECT_EQ(frm->consegna().riprova(), 1);
    EXPECT_EQ(frm->consegna().riprova(), 0);
    EXPECT_EQ(biglietti(u"Cassa"_s).size(), 1);
    EXPECT_TRUE(biglietti(u"Cassa"_s).value(0).contains(TicketDelivery::EtichettaRiprova));
    EXPECT_EQ(tdb.scalar(u"SELECT tentativi FROM pliko_stampe WHERE stato = 2"_s), u"2"_s);
}

TEST_F(KitchenTickets, ADocumentAWaiterAskedForIsOwedUntilItPrintsOnceThenMovesToItsBackup)
{
    const qint32 c = nuovaComanda();
    nuovaRiga(c, Carbonara, 1);
    ASSERT_TRUE(frm->consegna().journal().prepara());
    const struct
    {
        qint32 tipo;
        QString stampante;
        std::function<void()> stampa;
        QString testo;
    } casi[] = {
        {7, u"Preconto"_s, [&] { frm->stampaPreConto(c, u"5"_s); }, u"Totale"_s},
        {7, u"Preconto"_s, [&] { frm->stampaPreContoSintetico(c, u"5"_s); }, u"Totale"_s},
        {7, u"Preconto"_s, [&] { frm->stampaListaOrdinazioni(c, u"5"_s); }, u"lista ordinazioni"_s},
        {2, u"Cucina"_s, [&] { EXPECT_FALSE(frm->stampaMessaggioCucina(2, u"Messaggio: senza sale"_s)); }, u"senza sale"_s},
    };
    for (const auto &k : casi) {
        SCOPED_TRACE(k.testo.toStdString());
        tdb.exec(u"DELETE FROM pliko_stampe"_s);
        QDir(spoolDir()).removeRecursively();
        configura(k.tipo, k.stampante, {}, false);
        k.stampa();
        EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM pliko_stampe WHERE stato = 3 AND tentativi = 1"_s), u"1"_s);

        QDir(spoolDir()).mkpath(k.stampante);
        EXPECT_EQ(frm->consegna().riprova(), 1);
        EXPECT_EQ(frm->consegna().riprova(), 0);
        ASSERT_EQ(biglietti(k.stampante).size(), 1);
        EXPECT_TRUE(biglietti(k.stampante)[0].contains(k.testo)) << biglietti(k.stampante)[0].toStdString();
    }

    // The zone's backup takes its tickets after FailoverSeconds, never at the first attempt, which is
    // the zone's own printer; a ticket and a kitchen message on the kitchen's backup say whose they are.
    QDir(spoolDir()).removeRecursively();
    QDir(spoolDir()).mkpath(u"Cassa"_s);
    configura(7, u"Preconto"_s, {}, false);
    registry->setValue(Registry::OwnKey, u"BackupPrinter_preconto"_s, u"Cassa"_s);
    registry->setValue(Registry::OwnKey, u"BackupPrinter_cucina"_s, u"Cassa"_s);
    registry->setValue(Registry::OwnKey, u"FailoverSeconds"_s, u"0"_s);
    frm->stampaComanda(c, u"5"_s);
    frm->stampaPreConto(c, u"5"_s);
    frm->stampaMessaggioCucina(2, u"Messaggio: tavolo 5 allergia"_s);
    EXPECT_TRUE(biglietti(u"Cassa"_s).isEmpty());
    EXPECT_EQ(frm->consegna().riprova(), 3);
    const auto cassa = biglietti(u"Cassa"_s);
    ASSERT_EQ(cassa.size(), 3);
    // The kitchen still reads when the round was taken.
    EXPECT_TRUE(cassa[0].contains(u"CUCINA - STAMPANTE DI RISERVA"_s) && cassa[0].contains(u"RIPROVA - Ore "_s))
        << cassa[0].toStdString();
    EXPECT_EQ(righe(cassa[0]), QStringList({u"Turno 1"_s, u"1 Spaghetti alla carbonara"_s}));
    EXPECT_TRUE(cassa[1].contains(u"Totale"_s));
    EXPECT_TRUE(cassa[2].contains(u"CUCINA - STAMPANTE DI RISERVA"_s));
    // The zone's own printer back: nothing prints twice.
    QDir(spoolDir()).mkpath(u"Cucina"_s);
    EXPECT_EQ(frm->consegna().riprova(), 0);
    EXPECT_TRUE(biglietti(u"Cucina"_s).isEmpty());
}

TEST_F(KitchenTickets, AfterAStopASentTicketIsCheckedAgainstItsSpoolFolderBeforeAnyReprint)
{
    configura(2, u"Cucina"_s);
    const qint32 c = nuovaComanda();
    nuovaRiga(c, Carbonara, 1);
    frm->stampaComanda(c, u"5"_s);
    ASSERT_EQ(biglietti(u"Cucina"_s).size(), 1);
    const qint32 d = nuovaComanda(6);
    nuovaRiga(d, Tagliata, 1);
    frm->stampaComanda(d, u"6"_s);
    ASSERT_EQ(biglietti(u"Cucina"_s).size(), 2);

    // A stop after the hand-over of both, before the first was recorded printed; and a stop after
    // the second was recorded sent, before its printer had it (its files are gone).
    tdb.exec(u"UPDATE pliko_stampe SET stato = 1, consegna = ''"_s);
    const QString secondo = tdb.scalar(u"SELECT max(id_stampa) FROM pliko_stampe"_s);
    QDir cucina(QDir(spoolDir()).filePath(u"Cucina"_s));
    for (const QString &f : cucina.entryList({u"000002.*"_s}))
        ASSERT_TRUE(cucina.remove(f));

    TicketDelivery dopo(*frm, tdb.db(), *registry, &ui);
    EXPECT_EQ(dopo.recupera(), 1);
    const auto b = biglietti(u"Cucina"_s);
    ASSERT_EQ(b.size(), 2);
    EXPECT_EQ(righe(b[1]), QStringList({u"Turno 1"_s, u"1 Tagliata di manzo"_s}));
    EXPECT_FALSE(b[1].contains(frmStampeDocumenti::EtichettaRistampa));
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM pliko_stampe WHERE stato = 2"_s), u"2"_s);

    // A ticket whose order the back office deleted is dropped, never printed.
    tdb.exec(u"UPDATE pliko_stampe SET stato = 3 WHERE id_stampa = "_s + secondo);
    tdb.exec(u"DELETE FROM comande WHERE id_comanda = "_s + QString::number(d));
    EXPECT_EQ(dopo.riprova(), 0);
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM pliko_stampe"_s), u"1"_s);
}

TEST_F(KitchenTickets, AReprintOnDemandPrintsTheOrderInFullPerZoneMarkedAsSuch)
{
    configura({{2, u"Cucina"_s}, {4, u"Bar"_s}});
    const qint32 c = nuovaComanda();
    nuovaRiga(c, Carbonara, 1);
    frm->stampaComanda(c, u"5"_s);
    nuovaRiga(c, Tagliata, 1);
    nuovaRiga(c, Birra, 1);
    frm->stampaComanda(c, u"5"_s);
    // The kitchen's second ticket failed: the full copy is done with it, or a retry would print its dish twice.
    tdb.exec(u"UPDATE pliko_stampe SET stato = 3 WHERE id_stampa = (SELECT max(id_stampa) FROM pliko_stampe"
             " WHERE zona = 2)"_s);

    EXPECT_EQ(frm->consegna().ristampa(c, 2), 1);
    const auto cucina = biglietti(u"Cucina"_s);
    ASSERT_EQ(cucina.size(), 3);
    EXPECT_EQ(righe(cucina[2]), QStringList({u"Turno 1"_s, u"1 Spaghetti alla carbonara"_s, u"1 Tagliata di manzo"_s}));
    EXPECT_TRUE(cucina[2].contains(frmStampeDocumenti::EtichettaRistampa));
    EXPECT_EQ(biglietti(u"Bar"_s).size(), 1);
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM pliko_stampe WHERE stato IN (0, 3)"_s), u"0"_s);
    // Again for every zone: a reprint never repeats an earlier reprint's dishes.
    EXPECT_EQ(frm->consegna().ristampa(c, std::nullopt), 2);
    EXPECT_EQ(righeDi(u"Cucina"_s, 3), righe(cucina[2]));
    EXPECT_EQ(frm->consegna().ristampa(c + 1, std::nullopt), -1);
    EXPECT_EQ(frm->consegna().ristampa(c, 3), -1);
}

TEST_F(KitchenTickets, DishesWhoseTicketTheJournalRefusedStayOwed)
{
    configura(2, u"Cucina"_s);
    const qint32 c = nuovaComanda();
    nuovaRiga(c, Carbonara, 1);
    frm->stampaComanda(c, u"5"_s);
    // The journal takes no second ticket of the order, as with a full disk.
    tdb.exec(u"CREATE UNIQUE INDEX una_per_comanda ON pliko_stampe (id_comanda)"_s);
    nuovaRiga(c, Tagliata, 1);
    frm->stampaComanda(c, u"5"_s);
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM merce_comande WHERE qta_stampata < quantita"_s), u"1"_s);
}

// ---- Radio handhelds -------------------------------------------------------------------------------

TEST_F(RadioKitchenTickets, RadioOrderPrintsWhatChangedSinceItsLastRecording)
{
    configura({{2, u"Cucina"_s}, {4, u"Bar"_s}});
    const qint32 c = nuovaComanda();
    const qint32 pasta = nuovaRiga(c, Carbonara, 3);
    nuovaVariazione(pasta, u"Senza formaggio"_s, 8);
    const qint32 tagliata = nuovaRiga(c, Tagliata, 1);
    nuovaVariazione(tagliata, u"Al sangue"_s, 10);
    const qint32 birra = nuovaRiga(c, Birra, 1);
    const qint32 secondaBirra = nuovaRiga(c, Birra, 1);

    // Before: two pastas, the steak and a beer; after: three pastas, the same steak, a second
    // identical beer on its own line.
    const SnapshotRighe prima =
        snapshot({{u"1"_s, u"d-pasta|2"_s}, {u"2"_s, u"d-tagliata|1"_s}, {u"3"_s, u"d-birra|1"_s}});
    const SnapshotRighe dopo = snapshot({{QString::number(pasta), u"d-pasta|3"_s},
                                         {QString::number(tagliata), u"d-tagliata|1"_s},
                                         {QString::number(birra), u"d-birra|1"_s},
                                         {QString::number(secondaBirra), u"d-birra|1"_s}});

    frm->stampaComandaNano(c, u"7"_s, prima, dopo);

    const auto cucina = biglietti(u"Cucina"_s);
    ASSERT_EQ(cucina.size(), 1);
    EXPECT_EQ(righe(cucina[0]),
              QStringList({u"Turno 1"_s, u"1 Spaghetti alla carbonara"_s, u"+ Senza formaggio"_s}));
    EXPECT_EQ(righeDi(u"Bar"_s), QStringList({u"Turno 1"_s, u"1 Birra alla spina 0,4"_s}));
    EXPECT_EQ(qtaStampata(pasta), u"3"_s);

    // The same message again: nothing is new, nothing prints.
    frm->stampaComandaNano(c, u"7"_s, dopo, dopo);
    EXPECT_EQ(biglietti(u"Cucina"_s).size() + biglietti(u"Bar"_s).size(), 2);
}

TEST(QuantitaDaStampare, ComparesByContentNotByLineKey)
{
    const SnapshotRighe prima = snapshot({{u"10"_s, u"abc|2"_s}, {u"11"_s, u"def|0,5"_s}});
    QSet<QString> usati;
    // A dish taken back has nothing to print (-1); counting off the earlier lines, the second "abc|2"
    // line has no earlier line left to match.
    const struct
    {
        QString riga;
        QSet<QString> *usati;
        double quantita;
    } casi[] = {{u"abc|3"_s, nullptr, 1}, {u"def|1,5"_s, nullptr, 1}, {u"new|2"_s, nullptr, 2},
                {u"abc|1"_s, nullptr, -1}, {u"abc|2"_s, &usati, 0},     {u"abc|2"_s, &usati, 2}};
    for (const auto &c : casi) {
        double q = 99;
        EXPECT_TRUE(quantitaDaStampare(c.riga, prima, q, c.usati));
        EXPECT_DOUBLE_EQ(q, c.quantita) << c.riga.toStdString();
    }
}

TEST_F(KitchenTickets, OnlyAnInstallationWithoutTicketPrintersLetsTheOrderMarkItsOwnLines)
{
    // With no printer configured everything is marked printed and earlier marks are left as they are.
    const qint32 c = nuovaComanda();
    const qint32 birra = nuovaRiga(c, Birra, 2);
    const qint32 pasta = nuovaRiga(c, Carbonara, 1);
    const qint32 ridotta = nuovaRiga(c, Carbonara, 1, 1, 3); // brought down from 3 after printing
    const qint32 giaStampata = nuovaRiga(c, Birra, 2, 1, 2);

    frm->stampaComanda(c, u"5"_s);

    EXPECT_EQ(qtaStampata(birra), u"2"_s);
    EXPECT_EQ(qtaStampata(pasta), u"1"_s);
    EXPECT_EQ(qtaStampata(ridotta), u"3"_s);
    EXPECT_EQ(qtaStampata(giaStampata), u"2"_s);
    EXPECT_TRUE(QDir(spoolDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

    QTemporaryDir senzaLayout;
    struct Case
    {
        const char *what;
        qint32 zona;          // a ticket printer for this zone; 0: none
        bool layoutMancante;
        bool soloMarcatura;
    };
    const Case cases[] = {
        {"no printer at all", 0, false, true},
        {"a bar printer", 4, false, false},
        {"only a till printer", 1, false, false},
        {"no printer but no layout either: nothing is marked", 0, true, false},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        for (const qint32 zona : {4, 2, 1, 3})
            registry->setValue(Registry::BackOfficeKey, u"zona_ristorante_"_s + frmStampeDocumenti::nomeTipoStampante(zona),
                               QString());
        frm->setCartellaLayout(k.layoutMancante ? senzaLayout.path() : QString());
        if (k.zona)
            configura(k.zona, u"Stampante"_s);
        EXPECT_EQ(frm->soloMarcaturaComanda(), k.soloMarcatura);
    }
    // Only an order whose recording marked its lines is spared the marking here: one recorded
    // while the layout was missing (the last case), even under the key of an earlier recording
    // that rolled back, or any other order, is still marked.
    const qint32 senzaLayoutAllOrdine = nuovaComanda();
    const qint32 rigaSenza = nuovaRiga(senzaLayoutAllOrdine, Birra, 2);
    frm->setCartellaLayout(QString());
    EXPECT_TRUE(frm->soloMarcaturaComanda(senzaLayoutAllOrdine));
    frm->setCartellaLayout(senzaLayout.path());
    EXPECT_FALSE(frm->soloMarcaturaComanda(senzaLayoutAllOrdine));
    frm->stampaComanda(senzaLayoutAllOrdine, u"6"_s);
    EXPECT_EQ(qtaStampata(rigaSenza), u"2"_s);
    frm->setCartellaLayout(QString());
    // Orders recorded before the first one's handheld closed are each spared (their lines here
    // were left unmarked to show it).
    const qint32 prima = nuovaComanda(), seconda = nuovaComanda();
    const qint32 rigaPrima = nuovaRiga(prima, Birra, 2), rigaSeconda = nuovaRiga(seconda, Birra, 2);
    EXPECT_TRUE(frm->soloMarcaturaComanda(prima));
    EXPECT_TRUE(frm->soloMarcaturaComanda(seconda));
    frm->stampaComanda(prima, u"8"_s);
    frm->stampaComanda(seconda, u"9"_s);
    EXPECT_EQ(qtaStampata(rigaPrima), u"0"_s);
    EXPECT_EQ(qtaStampata(rigaSeconda), u"0"_s);
    const qint32 altra = nuovaComanda();
    const qint32 rigaAltra = nuovaRiga(altra, Birra, 1);
    EXPECT_TRUE(frm->soloMarcaturaComanda(altra + 1));
    frm->stampaComanda(altra, u"7"_s);
    EXPECT_EQ(qtaStampata(rigaAltra), u"1"_s);
}
