// SPDX-License-Identifier: GPL-3.0-or-later
// The menu a handheld downloads: articles with the price of the moment, and their categories.
#include "MenuReplies.h"
#include "SyncFixture.h"

using namespace Qt::StringLiterals;

namespace {
// The record of one article in a SincroArticoli reply, "" when it is not there.
QString articleRecord(const QString &reply, int code)
{
    const QString body = reply.mid(reply.indexOf(u'|') + 1);
    for (const QString &r : body.split(u';'))
        if (r.startsWith(QString::number(code) + u'|'))
            return r;
    return {};
}
} // namespace

TEST_F(SyncTest, anArticleCarriesItsListPriceStockAndFlags)
{
    replies.sincroArticoli(Slot);
    const QString reply = onlyReply();
    EXPECT_TRUE(reply.startsWith(u"SincroArticoli|101|Bruschetta al pomodoro|1|5|0|1|0|0;"_s)) << reply.toStdString();
    EXPECT_TRUE(reply.endsWith(u";\r"_s));
    EXPECT_EQ(reply.count(u'\r'), 1);
    // A stock drink: decimal comma in the price, stock on hand, no restaurant dish.
    EXPECT_EQ(articleRecord(reply, 141), u"141|Acqua naturale 0,75|7|2,5|48|0|0|0"_s);
    // A favourite with its position on the handheld.
    EXPECT_EQ(articleRecord(reply, 105), u"105|Frittura di calamari|1|13|0|1|1|1"_s);
}

TEST_F(SyncTest, hiddenAndDeletedArticlesAreNotOffered)
{
    data.exec(u"UPDATE magazzino SET visibile_shop_screen = false WHERE codice = 101"_s);
    data.exec(u"UPDATE magazzino SET cancellato = true WHERE codice = 102"_s);
    data.exec(u"UPDATE magazzino SET in_shop_screen = false WHERE codice = 103"_s);
    replies.sincroArticoli(Slot);
    const QString reply = onlyReply();
    EXPECT_TRUE(articleRecord(reply, 101).isEmpty());
    EXPECT_TRUE(articleRecord(reply, 102).isEmpty());
    EXPECT_TRUE(articleRecord(reply, 103).isEmpty());
    EXPECT_FALSE(articleRecord(reply, 104).isEmpty());
    EXPECT_EQ(reply.count(u';'), 57);
}

TEST_F(SyncTest, onSaturdayEveningTheEveningListOfSaturdayApplies)
{
    setLong(u"lst_sab_s"_s, 2);
    setNow(QDate(2024, 3, 16), QTime(20, 0));
    replies.sincroArticoli(Slot);
    // List C is 90 % of list A in the demo menu.
    EXPECT_EQ(articleRecord(onlyReply(), 101), u"101|Bruschetta al pomodoro|1|4,5|0|1|0|0"_s);
}

TEST_F(SyncTest, thePartOfTheDayChangesAtSevenAndAtSixInTheEvening)
{
    setLong(u"lst_ven_g"_s, 1); // Friday daytime: list B (110 %)
    setLong(u"lst_ven_s"_s, 3); // Friday evening and night: list D (120 %)
    const QList<std::pair<QTime, QString>> cases = {
        {QTime(6, 0), u"6"_s}, {QTime(6, 59), u"6"_s}, {QTime(7, 0), u"5,5"_s},
        {QTime(17, 59), u"5,5"_s}, {QTime(18, 0), u"6"_s}};
    for (const auto &[time, price] : cases) {
        link.replies.clear();
        setNow(QDate(2024, 3, 15), time);
        replies.sincroArticoli(Slot);
        EXPECT_EQ(articleRecord(onlyReply(), 101), u"101|Bruschetta al pomodoro|1|"_s + price + u"|0|1|0|0"_s)
            << time.toString().toStdString();
    }
    EXPECT_EQ(MenuReplies::nomeImpostazioneListino(QDateTime(QDate(2024, 3, 17), QTime(12, 0))), u"lst_dom_g"_s);
    EXPECT_EQ(MenuReplies::nomeImpostazioneListino(QDateTime(QDate(2024, 3, 18), QTime(23, 0))), u"lst_lun_s"_s);
}

TEST_F(SyncTest, pricesAreRoundedHalfToEvenWithTheRateOfVatCodeZero)
{
    data.exec(u"DELETE FROM iva WHERE codice = 0"_s);
    data.exec(u"UPDATE magazzino SET listino_a_ivato = 2.125 WHERE codice = 101"_s);
    data.exec(u"UPDATE magazzino SET listino_a_ivato = 2.135 WHERE codice = 102"_s);
    replies.sincroArticoli(Slot);
    QString reply = onlyReply();
    EXPECT_EQ(articleRecord(reply, 101).section(u'|', 3, 3), u"2,12"_s);
    EXPECT_EQ(articleRecord(reply, 102).section(u'|', 3, 3), u"2,14"_s);

    // A back office that gives code 0 a rate applies it to every article, whatever its own code.
    data.exec(u"INSERT INTO iva (codice, descrizione, aliquota) VALUES (0, 'Esente', 10)"_s);
    data.exec(u"UPDATE magazzino SET listino_a_ivato = 1.15 WHERE codice = 103"_s);
    link.replies.clear();
    replies.sincroArticoli(Slot);
    reply = onlyReply();
    EXPECT_EQ(articleRecord(reply, 103).section(u'|', 3, 3), u"1,26"_s);   // 1.265 to the even cent
    EXPECT_EQ(articleRecord(reply, 141).section(u'|', 3, 3), u"2,75"_s);   // a 22 % drink, still 10 %
}

TEST_F(SyncTest, aPriceListSettingOutsideAToDServesListAAndIsLogged)
{
    SyncLogCapture log;
    setLong(u"lst_ven_g"_s, 7);
    replies.sincroArticoli(Slot);
    EXPECT_EQ(articleRecord(onlyReply(), 101), u"101|Bruschetta al pomodoro|1|5|0|1|0|0"_s);
    EXPECT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().value(0).contains(u"lst_ven_g"_s));
}

TEST_F(SyncTest, aMenuThatCannotBeReadSendsNothing)
{
    data.exec(u"DROP TABLE magazzino"_s);
    replies.sincroArticoli(Slot);
    replies.sincroCategorie(Slot);
    EXPECT_TRUE(link.replies.isEmpty());
}

TEST_F(SyncTest, categoriesComeInTheirCashDeskOrder)
{
    replies.sincroCategorie(Slot);
    EXPECT_EQ(onlyReply(), u"SincroCategorie|1|Antipasti|1;2|Primi|2;3|Secondi|3;4|Contorni|4;5|Pizze|5;"
                           "6|Dolci|6;7|Bevande|7;8|Vini|8;\r"_s);
}

TEST_F(SyncTest, aCategoryWithoutArticlesOnSaleIsNotListedButOneWithHiddenArticlesIs)
{
    data.exec(u"UPDATE magazzino SET cancellato = true WHERE id_tipo_merce = 4"_s);
    data.exec(u"UPDATE magazzino SET in_shop_screen = false WHERE id_tipo_merce = 6"_s);
    data.exec(u"UPDATE magazzino SET visibile_shop_screen = false WHERE id_tipo_merce = 8"_s);
    data.exec(u"UPDATE tipo_merce SET posizione_cassa_facile = 0 WHERE num = 7"_s);
    replies.sincroCategorie(Slot);
    EXPECT_EQ(onlyReply(), u"SincroCategorie|7|Bevande|0;1|Antipasti|1;2|Primi|2;3|Secondi|3;5|Pizze|5;"
                           "8|Vini|8;\r"_s);
}
