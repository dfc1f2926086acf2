// SPDX-License-Identifier: GPL-3.0-or-later
#include "NanoFixture.h"

using namespace Qt::StringLiterals;

namespace {

class RadioTables : public NanoFixture
{
protected:
    // An open order written as the back office sees one: opened at h:m yesterday (the business
    // day began then), with its table, lines and charges.
    qint32 ordine(qint32 tavolo, qint32 operatore, int ora, int minuti, const QString &totale = u"0"_s,
                  const QString &costoCoperti = u"0"_s, int coperti = 2)
    {
        const double inizio = tipi::dayNumber(QDate(2024, 3, 14)) * 86400.0 + ora * 3600 + minuti * 60;
        tdb.exec(u"INSERT INTO comande (inizio, id_operatore, stato, fine, coperti, costo_coperti, totale) VALUES ("_s
                 + tipi::sqlNumber(inizio) + u", "_s + QString::number(operatore) + u", 0, 0, "_s
                 + QString::number(coperti) + u", "_s + costoCoperti + u", "_s + totale + u")"_s);
        const qint32 id = scalar(u"SELECT max(id_comanda) FROM comande"_s).toInt();
        tdb.exec(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES ("_s + QString::number(tavolo)
                 + u", "_s + QString::number(id) + u")"_s);
        return id;
    }
    qint32 riga(qint32 comanda, qint32 articolo, int quantita, const QString &prezzo, int turno)
    {
        tdb.exec(u"INSERT INTO merce_comande (id_comanda, id_articolo, quantita, prezzo, turno) VALUES ("_s
                 + QString::number(comanda) + u", "_s + QString::number(articolo) + u", "_s
                 + QString::number(quantita) + u", "_s + prezzo + u", "_s + QString::number(turno) + u")"_s);
        return scalar(u"SELECT max(id_merce_comanda) FROM merce_comande"_s).toInt();
    }
    void variazione(qint32 riga, qint32 id, const QString &descrizione, const QString &maggiorazione, int quantita)
    {
        tdb.exec(u"INSERT INTO merce_comande_variazioni (id_merce_comanda, id_variazione, descrizione, maggiorazione,"
                 " quantita) VALUES ("_s
                 + QString::number(riga) + u", "_s + QString::number(id) + u", '"_s + descrizione + u"', "_s
                 + maggiorazione + u", "_s + QString::number(quantita) + u")"_s);
    }
};

} // namespace

TEST_F(RadioTables, AmountsGoToTheHandheldsInCentsAndBackAgain)
{
    const std::pair<double, const char *> inUscita[] = {{0, "0"},     {1.5, "150"},   {12, "1200"}, {-1.5, "-150"},
                                                        {49.5, "4950"}, {0.5, "050"}, {0.125, "013"}};
    for (const auto &[importo, testo] : inUscita)
        EXPECT_EQ(modNanoTavoli::importoInCentesimi(Currency::fromDouble(importo)), QString::fromLatin1(testo))
            << importo;
    const std::pair<const char *, double> inEntrata[] = {{"150", 1.5}, {"-250", -2.5}, {"0", 0}, {"00", 0},
                                                         {"5", 0.05},  {"15", 0.15},   {"abc", 0}, {"", 0},
                                                         {"050", 0.5}};
    for (const auto &[testo, importo] : inEntrata)
        EXPECT_EQ(modNanoTavoli::centesimiInImporto(testo).toDouble(), importo) << testo;
}

TEST_F(RadioTables, TheListShowsEachOpenTableWithItsWaiterCoversTimeAndAmount)
{
    tdb.exec(u"UPDATE var_str SET value = '08:00' WHERE name = 'ora_apertura_attivita'"_s);
    ordine(7, 2, 21, 40, u"12"_s, u"0"_s, 1);
    ordine(3, 1, 9, 5, u"45.5"_s, u"4"_s, 2);
    const qint32 chiuso = ordine(4, 1, 12, 0);
    tdb.exec(u"UPDATE comande SET stato = 1 WHERE id_comanda = "_s + QString::number(chiuso));
    EXPECT_EQ(nano->listaTavoliNano(0), QByteArray("T|3|O|1|G|2|S|905|I|4950|T|7|O|2|G|1|S|2140|I|1200|.|"));
    EXPECT_EQ(nano->listaTavoliNano(2), QByteArray("T|7|O|2|G|1|S|2140|I|1200|.|"));
    // Luca has no table; a number nobody has lists the tables of operator 0, here none.
    EXPECT_EQ(nano->listaTavoliNano(3), QByteArray(".|"));
    EXPECT_EQ(nano->listaTavoliNano(42), QByteArray(".|"));
}

TEST_F(RadioTables, TheViewOfATableListsItsLinesVariationsAndNotesRecordByRecord)
{
    const qint32 c = ordine(5, 4, 20, 0, u"0"_s, u"8"_s, 4);
    riga(c, Carbonara, 1, u"11"_s, 1);
    const qint32 pizza = riga(c, Margherita, 2, u"7"_s, 2);
    variazione(pizza, 2, u"Extra mozzarella"_s, u"1.5"_s, 2);
    variazione(pizza, -1, u"ben cotta;poco|sale"_s, u"0"_s, 1);
    // Lines show their unit price, as the handhelds send it; separators in a note become "/".
    EXPECT_EQ(nano->statoTavoloNano(5), QByteArray("O|4|T|5|M|1|G|1|4|800|0|0|0|"
                                                   "P|108|1|1100|0|1|0|"
                                                   "P|126|2|700|0|2|0|"
                                                   "+|25|1|300|0|0|0|"
                                                   "m|0|1|0|0|0|0|"
                                                   "$|ben cotta/poco/sale|.|"));
}

TEST_F(RadioTables, AViewNamesSurchargesPlusAndDiscountsMinusAndLeavesOutWhatHasNoNumber)
{
    const qint32 c = ordine(6, 1, 20, 0);
    const qint32 pasta = riga(c, Carbonara, 1, u"11"_s, 1);
    variazione(pasta, 7, u"Porzione ridotta"_s, u"-2"_s, 1);
    variazione(pasta, 1, u"Senza cipolla"_s, u"0"_s, 1);
    variazione(pasta, 13, u"Corretto grappa"_s, u"0.5"_s, 1); // a bar variation: no number for pasta
    variazione(pasta, -1, u"a|b"_s, u"0"_s, 1);
    EXPECT_EQ(nano->statoTavoloNano(6), QByteArray("O|1|T|6|M|1|G|1|2|0|0|0|0|P|108|1|1100|0|1|0|-|72|2|-200|0|0|0|"
                                                   "-|12|2|0|0|0|0|m|0|1|0|0|0|0|$|a/b|.|"));
}

TEST_F(RadioTables, AFreeTableIsEmptyAndARecordedRadioOrderReadsBackAsSent)
{
    EXPECT_EQ(nano->statoTavoloNano(9), QByteArray("E"));
    ASSERT_GT(invia(messaggio(3, "9", "G|0|2|400|" + NanoFixture::riga(Margherita, 1, 700, 2, "m|0")
                                         + "+|25|1|150|0|0|0|.|$piccante|")),
              0);
    EXPECT_EQ(nano->statoTavoloNano(9), QByteArray("O|3|T|9|M|1|G|1|2|400|0|0|0|P|126|1|700|0|2|0|m|0|1|0|0|0|0|"
                                                   "+|25|1|150|0|0|0|$|piccante|.|"));
    EXPECT_EQ(nano->listaTavoliNano(3), QByteArray("T|9|O|3|G|2|S|2330|I|1250|.|"));
}

TEST_F(RadioTables, AnOrderMovesOnlyOntoAFreeTableAndAJoinedOrderKeepsItsOtherTables)
{
    const qint32 a = ordine(3, 1, 20, 0);
    tdb.exec(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES (4, "_s + QString::number(a) + u")"_s);
    ordine(8, 1, 20, 0);
    struct Case
    {
        const char *name;
        QByteArray body;
        qint32 feedback;
    };
    const Case cases[] = {
        {"from a table without an order", "N|1|0|5|0|10|", modNanoTavoli::NonSpostato},
        {"onto a table with an open order", "N|1|0|3|0|8|", modNanoTavoli::NonSpostato},
        {"too few fields", "N|1|0|3|0|", modNanoTavoli::NonSpostato},
        {"a table that is no number", "N|1|0|3;DROP|0|10|", modNanoTavoli::NonSpostato},
        {"onto a free table", "N|1|0|4|0|10|", modNanoTavoli::Spostato},
    };
    const QString tavoli = u"SELECT group_concat(numero_tavolo) FROM (SELECT numero_tavolo FROM tavoli_occupati ORDER BY"
                           " numero_tavolo)"_s;
    for (const Case &c : cases) {
        EXPECT_EQ(nano->spostaTavoloNano(c.body), c.feedback) << c.name;
        if (c.feedback == modNanoTavoli::NonSpostato) {
            EXPECT_EQ(scalar(tavoli), u"3,4,8"_s) << c.name;
        }
    }
    EXPECT_EQ(scalar(tavoli), u"3,8,10"_s);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM tavoli_occupati WHERE numero_tavolo IN (3, 10) AND id_comanda = "_s
                     + QString::number(a)),
              u"2"_s);
}
