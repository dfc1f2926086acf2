// SPDX-License-Identifier: GPL-3.0-or-later
// Orders, prints and their safety through the real plikoserver program, over the handheld protocol,
// with spool printers in a temporary folder.
#include "ServerProcess.h"


namespace {

class OrdersOverTcp : public ServerBinaryTest
{
protected:
    void SetUp() override
    {
        zones(u"cassa=Cassa cucina=Cucina pizzeria=Pizzeria bar=Bar preconto=Preconto"_s);
        dbPath = createRestaurant(1);
        config = writeConfig(dbPath);
    }
    QString config;
};

} // namespace

TEST_F(OrdersOverTcp, AnOrderIsConfirmedThenItsTicketsPrintInTheirZones)
{
    serve(config);

    // Opened at noon of the current service (the demo opens at 10:00 and closes at 02:00; before
    // the opening the current service is still yesterday's).
    const QDateTime now = QDateTime::currentDateTime();
    const QDate day = now.date().addDays(now.time() < QTime(10, 0) ? -1 : 0);
    const QByteArray inizio = QByteArray::number(qint64(tipi::momentOf(QDateTime(day, QTime(12, 0)))));
    // A draught beer for the bar, a mushroom risotto for the kitchen with an extra.
    const QByteArray order = "PALM01|Comanda|" + inizio + "|12,13|2|2|4,00|25,00;"
                             "M|145|1|5,00|1|Birra|0|0;M|111|1|11,00|1|Carbonara|0|0;V|5|1;\r";
    EXPECT_EQ(exchange(order), QByteArray("ComandaOK|\r"));
    EXPECT_TRUE(waitForPrint(u"Bar"_s, u"Birra"_s)) << printed(u"Bar"_s).toStdString();
    EXPECT_TRUE(waitForPrint(u"Cucina"_s, u"Risotto ai funghi"_s)) << printed(u"Cucina"_s).toStdString();
    EXPECT_TRUE(waitForPrint(u"Cassa"_s, u"Risotto ai funghi"_s));
    EXPECT_TRUE(printed(u"Cucina"_s).contains(u"+ Aggiunta funghi"_s)) << printed(u"Cucina"_s).toStdString();
    EXPECT_FALSE(printed(u"Bar"_s).contains(u"Risotto"_s));
    EXPECT_FALSE(printed(u"Cucina"_s).contains(u"Birra"_s));

    // The risotto raised from 1 to 3 (the handheld sends back what it knows was printed): the
    // kitchen gets only the 2 more.
    const QByteArray resend = "PALM01|Comanda|" + inizio + "|12,13|2|2|4,00|47,00;"
                              "M|145|1|5,00|1|Birra|0|1;M|111|3|11,00|1|Carbonara|0|1;V|5|1;\r";
    EXPECT_EQ(exchange(resend), QByteArray("ComandaOK|\r"));
    EXPECT_TRUE(waitForPrint(u"Cucina"_s, u"2 Risotto ai funghi"_s)) << printed(u"Cucina"_s).toStdString();
    EXPECT_EQ(printed(u"Bar"_s).count(u"Birra"_s), 1);

    // The pre-bill prints on the pre-bill printer after the handheld has its "OK|" (the other requests'
    // replies are the request handlers' own tests).
    EXPECT_EQ(exchange("PALM01|Preconto|13\r"), QByteArray("OK|\r"));
    EXPECT_TRUE(waitForPrint(u"Preconto"_s, u"Totale"_s)) << printed(u"Preconto"_s).toStdString();
    EXPECT_EQ(stop(SIGTERM), 0);
    EXPECT_EQ(query(u"SELECT count(*) FROM tavoli_occupati WHERE numero_tavolo IN (12, 13)"_s), u"2"_s);
}

TEST_F(OrdersOverTcp, TicketsConfirmedButNeverPrintedBeforeAStopPrintAtStartUpMarkedAsReprints)
{
    // As a server killed between "ComandaOK|" and its print leaves them: an open order of table 9
    // recorded four minutes ago with nothing printed, and one of table 8 from two hours ago.
    const double now = tipi::momentOf(QDateTime::currentDateTime());
    for (const auto &[table, minutes] : {std::pair{9, 4}, std::pair{8, 120}}) {
        ASSERT_EQ(query(u"INSERT INTO comande (inizio, ultima_ordinazione, id_operatore, stato, coperti) "
                        "VALUES (%1, %1, 2, 0, 2)"_s.arg(qint64(now - minutes * 60)), true), u"ok"_s);
        const QString id = query(u"SELECT max(id_comanda) FROM comande"_s);
        ASSERT_EQ(query(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES (%1, %2)"_s.arg(table).arg(id),
                        true), u"ok"_s);
        ASSERT_EQ(query(u"INSERT INTO merce_comande (id_comanda, id_articolo, descrizione, quantita, qta_stampata, "
                        "turno) VALUES (%1, 111, 'Risotto ai funghi', 2, 0, 1)"_s.arg(id), true), u"ok"_s);
    }
    serve(config);
    EXPECT_TRUE(waitForPrint(u"Cucina"_s, u"Risotto ai funghi"_s)) << log.toStdString();
    const QString kitchen = printed(u"Cucina"_s);
    EXPECT_TRUE(kitchen.contains(u"** TAVOLO 9 **"_s)) << kitchen.toStdString();
    EXPECT_TRUE(kitchen.contains(u"RISTAMPA - Comanda delle ore:"_s)) << kitchen.toStdString();
    EXPECT_FALSE(kitchen.contains(u"TAVOLO 8"_s));
    EXPECT_TRUE(waitForLog(u"Ristampa della comanda"_s));
    EXPECT_EQ(stop(SIGTERM), 0);
    EXPECT_EQ(query(u"SELECT qta_stampata FROM merce_comande, tavoli_occupati WHERE "
                    "merce_comande.id_comanda = tavoli_occupati.id_comanda AND numero_tavolo = 9"_s),
              u"2"_s);

    // Printed once: the next start has nothing owed.
    server.close();
    log.clear();
    serve(config);
    EXPECT_EQ(exchange("PALM09|TestConnessione|\r"), QByteArray("TestOK|\r"));
    EXPECT_EQ(stop(SIGTERM), 0);
    EXPECT_EQ(printed(u"Cucina"_s).count(u"Risotto ai funghi"_s), 1);
}

TEST_F(OrdersOverTcp, ANoteOfOneEndlessWordIsAnsweredPrintedCutAndHoldsUpNoOtherHandheld)
{
    serve(config);
    // A word near the request limit, in the message and in the operator field.
    const QByteArray word(400000, 'Z');
    EXPECT_EQ(exchange("PALM01|NotaLibera|" + word + "|" + word + "|2\r"), QByteArray("OK|\r"));
    // While the note goes to the kitchen, the other handhelds are answered, in their order.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(exchange("PALM0" + QByteArray::number(i) + "|TestConnessione|\r"), QByteArray("TestOK|\r")) << i;
    const QByteArray order = "PALM02|Comanda|3919435200|4|2|2|0|0;M|145|1|5,00|1|Birra|0|0;\r";
    EXPECT_EQ(exchange(order), QByteArray("ComandaOK|\r"));
    EXPECT_TRUE(waitForPrint(u"Bar"_s, u"Birra"_s));
    EXPECT_TRUE(waitForPrint(u"Cucina"_s, u"Messaggio:"_s)) << log.left(2000).toStdString();
    // Each field prints its first 2,000 characters.
    EXPECT_EQ(printed(u"Cucina"_s).count(u'Z'), 4000);
    EXPECT_EQ(stop(SIGTERM), 0);
    EXPECT_TRUE(log.contains(u"ridotto a 2000"_s));
}

TEST_F(OrdersOverTcp, HeaderNumbersOutOfBoundsRefuseTheWholeOrderAndItalianPricesReadWithoutALocale)
{
    // A stock Debian server runs in C.UTF-8; the handhelds still write "5,00".
    locale.clear();
    config = writeConfig(dbPath);
    const QString before = query(u"SELECT count(*) FROM comande"_s);
    serve(config);

    // inizio | tables | covers | waiter | cover charge | total
    const struct
    {
        const char *header;
        const char *why;
    } refused[] = {
        {"3919435200|4|2|2|2147483648|0", "coperti non valido: '2147483648'"},
        {"3919435200|4|2|2|1e308|0", "coperti non valido: '1e308'"},
        {"3919435200|4|2|2|0|1e17", "totale"},                  {"3919435200|4|-1|2|0|0", "coperti non validi: '-1'"},
        {"3919435200|4|10000|2|0|0", "coperti non validi: '10000'"}, {"3919435200|-1|2|2|0|0", "tavolo non valido"},
        {"3919435200|4|2|1.250|0|0", "operatore"},               {"3919435200|4|2|999|0|0", "operatore 999"},
        {"0|4|2|2|0|0", "apertura non valido: '0'"},           {"nan|4|2|2|0|0", "apertura non valido: 'nan'"},
    };
    for (const auto &r : refused) {
        const QByteArray order = "PALM01|Comanda|" + QByteArray(r.header) + ";M|145|1|5,00|1|Birra|0|0;\r";
        EXPECT_NE(exchange(order), QByteArray("ComandaOK|\r")) << r.header;
        EXPECT_TRUE(waitForLog(QString::fromLatin1(r.why))) << r.header;
    }
    for (const char *occupa : {"4|3919436000|2|-99999999|2", "4|3919436000|2|4,00|999", "-4|3919436000|2|4,00|2"})
        EXPECT_EQ(exchange("PALM01|OccupaTavolo|" + QByteArray(occupa) + "\r"),
                  QByteArray("errore|Si \xe8 verificato un errore nella trasmissione\r"))
            << occupa;
    EXPECT_EQ(query(u"SELECT count(*) FROM comande"_s), before);

    const QByteArray order = "PALM01|Comanda|3919435200|4|2|2|4,00|14,00;M|145|2|5,00|1|Birra|0|0;\r";
    EXPECT_EQ(exchange(order), QByteArray("ComandaOK|\r"));
    EXPECT_EQ(stop(SIGTERM), 0);
    const QString mine = u" FROM comande WHERE inizio = 3919435200 AND id_operatore = 2"_s;
    EXPECT_EQ(query(u"SELECT costo_coperti"_s + mine), u"4"_s);
    EXPECT_EQ(query(u"SELECT totale"_s + mine), u"10"_s);
    EXPECT_EQ(query(u"SELECT prezzo FROM merce_comande WHERE id_comanda = (SELECT id_comanda"_s + mine + u")"_s), u"5"_s);
}
