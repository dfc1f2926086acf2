// SPDX-License-Identifier: GPL-3.0-or-later
#include "RestaurantSchema.h"
#include "TestSupport.h"
#include "modPlikoServer.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
Currency eur(double v) { return Currency::fromDouble(v); }

// The demo restaurant and its helpers.
class Helpers : public ::testing::Test
{
protected:
    RegionalGuard guard;
    TestDatabase tdb;
    modPlikoServer h{tdb.db()};
};
} // namespace

TEST_F(Helpers, SettingsFallBackToTheirDefaults)
{
    EXPECT_EQ(h.leggiVarLong(u"non_esiste"_s, 60), 60);
    EXPECT_EQ(h.leggiVarLong(u"palmare_configurato"_s, 0), 1);
    EXPECT_EQ(h.leggiVarStr(u"ora_apertura_attivita"_s, {}), u"122400"_s);
    EXPECT_EQ(h.leggiVarStr(u"non_esiste"_s, u"x"_s), u"x"_s);
    tdb.exec(u"INSERT INTO var_long (name, value) VALUES ('scritto_male', 'dieci')"_s);
    EXPECT_EQ(h.leggiVarLong(u"scritto_male"_s, 7), 0);
    EXPECT_TRUE(h.scriviVarStr(u"coperto_somma"_s, u"2,50"_s));
    EXPECT_TRUE(h.scriviVarLong(u"minuti_avviso_prenotazione"_s, 45));
    EXPECT_EQ(h.leggiVarStr(u"coperto_somma"_s, {}), u"2,50"_s);
    EXPECT_EQ(h.leggiVarLong(u"minuti_avviso_prenotazione"_s, 0), 45);
}

TEST_F(Helpers, LookupsOfVatUnitsWaitersAndTablesOfAnOrder)
{
    EXPECT_DOUBLE_EQ(h.aliquotaIva(22), 22.0);
    EXPECT_DOUBLE_EQ(h.aliquotaIva(0), 0.0);
    EXPECT_DOUBLE_EQ(h.aliquotaIva(17), 0.0); // no such code
    EXPECT_EQ(h.nomeUnitaMisura(1), u"pz"_s);
    EXPECT_EQ(h.nomeUnitaMisura(99), u""_s);
    EXPECT_EQ(h.nomeOperatore(2, false), u"Giulia"_s);
    EXPECT_EQ(h.nomeOperatore(77, false), u""_s);
    tdb.exec(u"INSERT INTO comande (id_comanda, id_operatore) VALUES (40, 3)"_s);
    EXPECT_EQ(h.nomeOperatore(40, true), u"Luca"_s);
    EXPECT_EQ(h.elencoTavoliComanda(1), u"Nessun tavolo"_s);
    tdb.exec(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES (5, 1)"_s);
    tdb.exec(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES (6, 1)"_s);
    EXPECT_EQ(h.elencoTavoliComanda(1), u" 5, 6"_s);
}

TEST_F(Helpers, CoverChargeByCoversOrByPercentageOfTheLines)
{
    tdb.exec(u"INSERT INTO comande (id_comanda, coperti) VALUES (1, 3)"_s);
    tdb.exec(u"INSERT INTO merce_comande (id_comanda, totale) VALUES (1, 12.34)"_s);
    tdb.exec(u"INSERT INTO merce_comande (id_comanda, totale) VALUES (1, 7.66)"_s);
    tdb.exec(u"UPDATE var_str SET value = '2,50' WHERE name = 'coperto_somma'"_s);
    EXPECT_EQ(h.costoCoperti(1), eur(7.50));
    tdb.exec(u"UPDATE var_long SET value = 2 WHERE name = 'tipologia_coperto'"_s);
    EXPECT_EQ(h.costoCoperti(1), eur(2.00)); // 1.23 + 0.77, each share rounded first
    tdb.exec(u"UPDATE var_long SET value = 0 WHERE name = 'tipologia_coperto'"_s);
    EXPECT_EQ(h.costoCoperti(1), eur(0));
    tdb.exec(u"UPDATE var_long SET value = 1 WHERE name = 'tipologia_coperto'"_s);
    tdb.exec(u"UPDATE var_str SET value = 'gratis' WHERE name = 'coperto_somma'"_s);
    EXPECT_EQ(h.costoCoperti(1), eur(0));
}

TEST(HelperSums, PercentagesAndPricesWithVat)
{
    RegionalGuard guard;
    EXPECT_EQ(modPlikoServer::calcolaPercentuale(eur(123.45), 0), eur(0));
    EXPECT_EQ(modPlikoServer::calcolaPercentuale(eur(12.34), 10), eur(1.23));
    EXPECT_EQ(modPlikoServer::calcolaPercentuale(eur(0.05), 10), eur(0.01)); // 0.005 rounds up in a pattern
    int decimals = 2;
    EXPECT_EQ(modPlikoServer::prezzoIvato(eur(10.00), 22, decimals), eur(12.20));
    EXPECT_EQ(modPlikoServer::prezzoIvato(eur(0.125), 0, decimals), eur(0.12)); // half to even
    EXPECT_EQ(modPlikoServer::prezzoIvato(eur(0.135), 0, decimals), eur(0.14));
    regional().decimals = 3;
    int configured = 0;
    EXPECT_EQ(modPlikoServer::prezzoIvato(eur(1.0), 10, configured), eur(1.1));
    EXPECT_EQ(configured, 3);
}

TEST(HelperSums, MomentsOfTheBusinessDay)
{
    RegionalGuard guard(QDateTime(QDate(2024, 1, 1), QTime(13, 45, 10)));
    const double midnight = 3913228800.0;
    EXPECT_EQ(modPlikoServer::momentoAttuale(), midnight + 13 * 3600 + 45 * 60 + 10);
    EXPECT_EQ(modPlikoServer::momentoDaOrario(QVariant(), u"7:30"_s, u":"_s), midnight + 27000);
    EXPECT_EQ(modPlikoServer::momentoDaOrario(QDate(2024, 1, 2), u"02:00"_s, u":"_s), midnight + 86400 + 7200);
    EXPECT_EQ(modPlikoServer::momentoDaOrario(QVariant(), u""_s, u":"_s), midnight);
    QString date, time;
    EXPECT_EQ(modPlikoServer::formattaMomento(midnight + 27000, &date, &time, u"dd/MM/yyyy"_s, u"H:mm"_s),
              u"01/01/2024 7:30"_s);
    EXPECT_EQ(time, u"7:30"_s);
}

// The indexes and counters of a new database are tested where they are used: settings, look-ups, new orders.
TEST(Schema, ANewDatabaseIsNeverCreatedOverAnExistingFile)
{
    RegionalGuard guard;
    TestDatabase tdb(false);
    QString error;
    EXPECT_FALSE(schema::createDatabase(tdb.path(), false, &error));
    EXPECT_FALSE(error.isEmpty());
}
