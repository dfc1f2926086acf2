// SPDX-License-Identifier: GPL-3.0-or-later
// The menu a handheld downloads: articles with the price of the moment, and their categories.
#include "SyncFixture.h"


namespace {
// The record of one article in a SincroArticoli reply, "" when it is not there.
QString articleRecord(const QString &reply, int code)
{
    for (const QString &r : reply.mid(reply.indexOf(u'|') + 1).split(u';'))
        if (r.startsWith(QString::number(code) + u'|'))
            return r;
    return {};
}
QString price(const QString &reply, int code)
{
    return articleRecord(reply, code).section(u'|', 3, 3);
}
} // namespace

TEST_P(SyncTest, theMenuOffersVisibleArticlesWithPriceStockAndFlags)
{
    data.exec(u"UPDATE magazzino SET visibile_shop_screen = false WHERE codice = 102"_s);
    data.exec(u"UPDATE magazzino SET cancellato = true WHERE codice = 103"_s);
    replies.sincroArticoli(Slot);
    const QString reply = onlyReply();
    EXPECT_TRUE(reply.startsWith(u"SincroArticoli|101|Bruschetta al pomodoro|1|5|0|1|0|0;104|"_s))
        << reply.toStdString();
    EXPECT_TRUE(reply.endsWith(u";\r"_s));
    EXPECT_EQ(reply.count(u';'), 58);
    // A stock drink: decimal comma, stock on hand, no restaurant dish. A favourite and its position.
    EXPECT_EQ(articleRecord(reply, 141), u"141|Acqua naturale 0,75|7|2,5|48|0|0|0"_s);
    EXPECT_EQ(articleRecord(reply, 105), u"105|Frittura di calamari|1|13|0|1|1|1"_s);
}

TEST_P(SyncTest, thePriceListFollowsTheWeekdayAndThePartOfTheDay)
{
    setLong(u"lst_sab_s"_s, 2); // Saturday evening: list C, 90 % in the demo menu
    setLong(u"lst_ven_g"_s, 1); // Friday daytime: list B, 110 %
    setLong(u"lst_ven_s"_s, 3); // Friday evening and night: list D, 120 %
    setLong(u"lst_sab_g"_s, 7); // Saturday daytime: no such list, list A
    const QList<std::pair<QDateTime, QString>> cases = {
        {QDateTime(QDate(2024, 3, 16), QTime(20, 0)), u"4,5"_s},
        {QDateTime(QDate(2024, 3, 16), QTime(12, 0)), u"5"_s},
        {QDateTime(QDate(2024, 3, 17), QTime(12, 0)), u"5"_s}, // Sunday has no setting: list A
        {QDateTime(QDate(2024, 3, 15), QTime(6, 0)), u"6"_s},
        {QDateTime(QDate(2024, 3, 15), QTime(7, 0)), u"5,5"_s},
        {QDateTime(QDate(2024, 3, 15), QTime(17, 59)), u"5,5"_s},
        {QDateTime(QDate(2024, 3, 15), QTime(18, 0)), u"6"_s}};
    for (const auto &[at, expected] : cases) {
        link.replies.clear();
        regional.clock().set(at);
        replies.sincroArticoli(Slot);
        EXPECT_EQ(price(onlyReply(), 101), expected) << at.toString().toStdString();
    }
}

TEST_P(SyncTest, pricesAreRoundedHalfToEvenWithTheRateOfVatCodeZero)
{
    data.exec(u"DELETE FROM iva WHERE codice = 0"_s);
    data.exec(u"UPDATE magazzino SET listino_a_ivato = 2.125 WHERE codice = 101"_s);
    data.exec(u"UPDATE magazzino SET listino_a_ivato = 2.135 WHERE codice = 102"_s);
    replies.sincroArticoli(Slot);
    EXPECT_EQ(price(link.replies.value(0), 101), u"2,12"_s);
    EXPECT_EQ(price(link.replies.value(0), 102), u"2,14"_s);

    // A rate on code 0 applies to every article, whatever its own code.
    data.exec(u"INSERT INTO iva (codice, descrizione, aliquota) VALUES (0, 'Esente', 10)"_s);
    data.exec(u"UPDATE magazzino SET listino_a_ivato = 1.15 WHERE codice = 103"_s);
    replies.sincroArticoli(Slot);
    EXPECT_EQ(price(link.replies.value(1), 103), u"1,26"_s); // 1.265 to the even cent
    EXPECT_EQ(price(link.replies.value(1), 141), u"2,75"_s); // a 22 % drink, still 10 %
}

TEST_P(SyncTest, categoriesWithArticlesOnSaleComeInTheirCashDeskOrder)
{
    data.exec(u"UPDATE magazzino SET cancellato = true WHERE id_tipo_merce = 4"_s);
    data.exec(u"UPDATE magazzino SET in_shop_screen = false WHERE id_tipo_merce = 6"_s);
    // Hidden articles still count for their category.
    data.exec(u"UPDATE magazzino SET visibile_shop_screen = false WHERE id_tipo_merce = 8"_s);
    data.exec(u"UPDATE tipo_merce SET posizione_cassa_facile = 0 WHERE num = 7"_s);
    replies.sincroCategorie(Slot);
    EXPECT_EQ(onlyReply(), u"SincroCategorie|7|Bevande|0;1|Antipasti|1;2|Primi|2;3|Secondi|3;5|Pizze|5;"
                           "8|Vini|8;\r"_s);
}

TEST_P(SyncTest, aReplyWhoseQueryCannotBeOpenedSendsNothing)
{
    data.exec(u"DROP TABLE magazzino"_s);
    data.exec(u"DROP TABLE clfn"_s);
    data.exec(u"DROP TABLE merce_comande_variazioni"_s);
    const qint32 order = addOrder(Mar14 + 20 * 3600, 2, {4});
    data.exec(u"INSERT INTO merce_comande (id_comanda, id_articolo) VALUES ("_s + QString::number(order)
              + u", 101)"_s);
    replies.sincroArticoli(Slot);
    replies.sincroCategorie(Slot);
    replies.sincroOperatori(Slot);
    replies.sincroComande(2, Slot);
    replies.sincroTavolo(Slot, u"4"_s, 2);
    EXPECT_TRUE(link.replies.isEmpty()) << link.replies.join(u" // "_s).toStdString();
}
