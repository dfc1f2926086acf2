// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintingFixture.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// The rows of a printed pre-bill between its two rules, blanks squeezed.
QStringList rows(const QString &ticket)
{
    const QStringList lines = ticket.split(u'\n');
    QStringList out;
    int rules = 0;
    for (const QString &l : lines) {
        if (l.startsWith(u"-----"_s)) {
            ++rules;
            continue;
        }
        if (rules == 1)
            out << l.simplified();
    }
    // The amount per person is long for its column and continues on the next line.
    if (out.size() >= 2 && out.last().endsWith(u"persona)"_s) && !out.last().startsWith(u'(')) {
        const QString tail = out.takeLast();
        out.last() += u' ' + tail;
    }
    return out;
}

class PreBills : public PrintingFixture, public ::testing::WithParamInterface<Engine>
{
protected:
    PreBills() : PrintingFixture(GetParam()) {}
    void SetUp() override
    {
        PrintingFixture::SetUp();
        if (IsSkipped())
            return;
        configura(7, u"Cassa"_s);
    }
    void setOrder(qint32 id, int covers, double coverCost)
    {
        tdb.exec(u"UPDATE comande SET coperti = %1, costo_coperti = %2 WHERE id_comanda = %3"_s.arg(covers).arg(coverCost).arg(id));
    }
    void setLine(qint32 riga, double totale)
    {
        tdb.exec(u"UPDATE merce_comande SET totale = %1 WHERE id_merce_comanda = %2"_s.arg(totale).arg(riga));
    }
    void setSurcharge(qint32 riga, double price, double quantity)
    {
        tdb.exec(u"UPDATE merce_comande_variazioni SET maggiorazione = %1, quantita = %2 WHERE id_merce_comanda = %3"_s
                     .arg(price).arg(quantity).arg(riga));
    }
};

} // namespace

TEST_P(PreBills, FourCoversTwoPizzasAndAnExtraMakeTwentySixEuroAndSixFiftyEachWithoutCoversEighteen)
{
    const qint32 id = nuovaComanda(5);
    setOrder(id, 4, 8.0);
    const qint32 pizza = nuovaRiga(id, Margherita, 2);
    setLine(pizza, 16.0);
    nuovaVariazione(pizza, u"Extra mozzarella"_s);
    setSurcharge(pizza, 1.0, 2);
    frm->stampaPreConto(id, u" 5"_s);
    const QStringList tickets = biglietti(u"Cassa"_s);
    ASSERT_EQ(tickets.size(), 1);
    EXPECT_TRUE(tickets[0].contains(u"** TAVOLO  5 **"_s));
    EXPECT_TRUE(tickets[0].contains(u"Preconto delle ore: 12:00"_s));
    EXPECT_EQ(rows(tickets[0]), (QStringList{u"4 Coperto 8,00 €"_s, u"2 Margherita 16,00 €"_s,
                                             u"2 + Extra mozzarella 2,00 €"_s, u""_s, u"Totale 26,00 €"_s,
                                             u"(6,50 € per persona)"_s}));

    // No cover charge means no cover row, and no covers carry the whole total.
    setOrder(id, 0, 0);
    frm->stampaPreConto(id, u" 5"_s);
    EXPECT_EQ(rows(biglietti(u"Cassa"_s).value(1)), (QStringList{u"2 Margherita 16,00 €"_s,
                                                                u"2 + Extra mozzarella 2,00 €"_s, u""_s,
                                                                u"Totale 18,00 €"_s, u"(18,00 € per persona)"_s}));
}

TEST_P(PreBills, TheSummaryGivesOneRowPerCategoryWithItsExtras)
{
    // Drinks come before desserts on the till; a dessert's extra counts with the desserts.
    const qint32 id = nuovaComanda(5);
    tdb.exec(u"UPDATE var_long SET value = 0 WHERE name = 'tipologia_coperto'"_s);
    tdb.exec(u"UPDATE tipo_merce SET posizione_cassa_facile = 1 WHERE num = 7"_s);
    tdb.exec(u"UPDATE tipo_merce SET posizione_cassa_facile = 2 WHERE num = 6"_s);
    setLine(nuovaRiga(id, Birra, 1), 5.0);
    setLine(nuovaRiga(id, 141, 1), 2.5);     // still water
    const qint32 tiramisu = nuovaRiga(id, 135, 1);
    setLine(tiramisu, 6.0);
    nuovaVariazione(tiramisu, u"Panna extra"_s);
    setSurcharge(tiramisu, 1.0, 1);
    frm->stampaPreContoSintetico(id, u" 5"_s);
    EXPECT_EQ(rows(biglietti(u"Cassa"_s).value(0)),
              (QStringList{u""_s, u"2 Bevande 7,50 €"_s, u"1 Dolci 7,00 €"_s, u""_s, u"Totale 14,50 €"_s,
                           u"(14,50 € per persona)"_s}));
}

TEST_P(PreBills, TheOrderListHasOneRowPerWholePortion)
{
    const qint32 id = nuovaComanda(5);
    nuovaRiga(id, Birra, 2);
    nuovaRiga(id, Margherita, 1);
    frm->stampaListaOrdinazioni(id, u" 5"_s);
    const QString list = biglietti(u"Cassa"_s).value(0);
    EXPECT_EQ(rows(list), (QStringList{u"1 Birra alla spina 0,4"_s, u"1 Birra alla spina 0,4"_s, u"1 Margherita"_s}));
    // It says it is a list, not a pre-bill.
    EXPECT_TRUE(list.contains(u"Non fiscale - lista ordinazioni"_s)) << list.toStdString();
    EXPECT_FALSE(list.contains(u"preconto"_s));

    const qint32 halves = nuovaComanda(6);
    nuovaRiga(halves, Birra, 2.5);
    nuovaRiga(halves, Margherita, 1.5);
    nuovaRiga(halves, Carbonara, 0.5);
    frm->stampaListaOrdinazioni(halves, u" 6"_s);
    const QStringList r = rows(biglietti(u"Cassa"_s).value(1));
    EXPECT_EQ(r.count(u"1 Birra alla spina 0,4"_s), 2);
    EXPECT_EQ(r.count(u"1 Margherita"_s), 2);
    EXPECT_FALSE(r.join(u'|').contains(u"carbonara"_s));

    // Many half portions rounding up never overrun the list.
    const qint32 many = nuovaComanda(7);
    for (int i = 0; i < 12; ++i)
        nuovaRiga(many, Margherita, 1.5);
    frm->stampaListaOrdinazioni(many, u" 7"_s);
    EXPECT_EQ(rows(biglietti(u"Cassa"_s).value(2)).size(), 24);
}

TEST_P(PreBills, AKitchenNoteWrapsItsWordsCarriesNoStrayCarriageReturnCutsAnEndlessWordAndNeedsItsZonesPrinter)
{
    configura(2, u"Cucina"_s);
    const QString message = u"Il tavolo 12 ha un bambino allergico alle arachidi: niente frutta secca nei dolci "
                            "e nei condimenti, per favore avvisate il pasticcere prima di preparare il tiramisu "_s;
    const QString text = u"Operatore: Marco\r\nMessaggio: "_s + message;
    EXPECT_TRUE(frm->stampaMessaggioCucina(2, text + QString(100000, u'Z')));
    const QString note = biglietti(u"Cucina"_s).value(0);
    EXPECT_TRUE(note.contains(u"Operatore: Marco\n"_s)) << note.left(300).toStdString();
    EXPECT_FALSE(note.contains(u'\r'));
    // Whole words go on over the next lines; the field carries its first 4,096 characters, cut into lines
    // of the ticket's width, and the closing rule comes after the whole text.
    EXPECT_TRUE(note.simplified().contains(u"Messaggio: "_s + message)) << note.left(600).toStdString();
    EXPECT_EQ(note.count(u'Z'), cReportData::MaxTesto - text.size());
    const QStringList lines = note.trimmed().split(u'\n');
    for (const auto &line : lines)
        EXPECT_LE(line.size(), 42);
    EXPECT_TRUE(lines.last().startsWith(u"----"_s)) << lines.last().toStdString();

    EXPECT_FALSE(frm->stampaMessaggioCucina(9, u"a nessuno"_s));
    EXPECT_EQ(ui.messages().last(), u"Stampante non definita!"_s);

    configura(3, u"Pizzeria"_s, {}, false);
    EXPECT_FALSE(frm->stampaMessaggioCucina(3, u"al forno"_s));
    EXPECT_EQ(ui.messages().last(), u"Errore nella stampa. Impossibile stampare su: Pizzeria"_s);
}

TEST_P(PreBills, TheTestSummaryPrintsItsFourLinesAsPlainText)
{
    const QStringList lines = {u"Inizio test invio comande: 15/03/2024 12:00:00"_s,
                               u"Fine test: 15/03/2024 14:15:00"_s, u"Durata test: 2 ore 15 minuti"_s,
                               u"Comande inviate: 3"_s};
    EXPECT_TRUE(frm->stampaResocontoTest(lines));
    const QString printed = biglietti(u"Cassa"_s).value(0).simplified();
    for (const QString &l : lines)
        EXPECT_TRUE(printed.contains(l)) << "[" << printed.toStdString() << "]";
    frm->setSceltaStampante([](QString &) { return false; }); // the operator cancels the choice
    EXPECT_FALSE(frm->stampaResocontoTest(lines));
    EXPECT_EQ(biglietti(u"Cassa"_s).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, PreBills, ::testing::ValuesIn(allEngines()), engineName);
