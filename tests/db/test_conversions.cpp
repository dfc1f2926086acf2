// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "modGestioneTipiDato.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tipi;

TEST(Conversions, ItalianNumbersReadWithTheCommaAsDecimalSeparator)
{
    RegionalGuard guard;
    // A point is read as the decimal separator when the Italian form does not fit.
    for (const auto &[text, value] : {std::pair{u"12,50"_s, 12.5}, {u" 12,50 "_s, 12.5}, {u"-3,25"_s, -3.25},
                                      {u"+4"_s, 4.0}, {u"12.50"_s, 12.5}, {u"1.250,5"_s, 1250.5}})
        EXPECT_DOUBLE_EQ(toDouble(text), value) << text.toStdString();
}

TEST(Conversions, WhatIsNotANumberBecomesZeroAndNeverFails)
{
    RegionalGuard guard;
    for (const QVariant &odd : {QVariant(), QVariant(u""_s), QVariant(u"   "_s), QVariant(u"12|"_s),
                                QVariant(u"dodici"_s), QVariant(u"-"_s), QVariant(u"1,2,3"_s),
                                QVariant(std::numeric_limits<double>::infinity()), QVariant(qQNaN())}) {
        EXPECT_EQ(toLong(odd), 0) << toText(odd).toStdString();
        EXPECT_EQ(toInt16(odd), 0);
        EXPECT_EQ(toDouble(odd), 0.0);
        EXPECT_EQ(currencyToDouble(odd), 0.0);
        EXPECT_EQ(toFlag(odd), 0);
    }
    EXPECT_EQ(toText(QVariant()), u""_s);
}

TEST(Conversions, WholeNumbersRoundHalfToEvenAndOverflowGivesZeroFlagsFollowTheEngineTrue)
{
    RegionalGuard guard;
    for (const auto &[value, whole] : {std::pair<QVariant, qint32>{u"2,5"_s, 2}, {u"3,5"_s, 4}, {-2.5, -2},
                                       {u"2147483647"_s, 2147483647}, {u"2147483648"_s, 0}, {u"1e30"_s, 0},
                                       {QVariant::fromValue<qint64>(5000000000LL), 0}, {true, -1}})
        EXPECT_EQ(toLong(value), whole) << toText(value).toStdString();
    for (const auto &[text, small] : {std::pair{u"32767"_s, 32767}, {u"32768"_s, 0}, {u"-32768"_s, -32768}})
        EXPECT_EQ(toInt16(text), small) << text.toStdString();
    // The engine's true is -1.
    for (const QVariant &yes : {QVariant(-1), QVariant(1), QVariant(u"True"_s), QVariant(true)})
        EXPECT_EQ(toFlag(yes), 1) << toText(yes).toStdString();
    EXPECT_EQ(toFlag(0), 0);
}

TEST(Conversions, CurrencyKeepsFourDecimalsRoundingHalfToEven)
{
    RegionalGuard guard;
    EXPECT_EQ(toCurrency(u"7,12344"_s).raw(), 71234);
    EXPECT_EQ(toCurrency(u"7,12346"_s).raw(), 71235);
    EXPECT_EQ(Currency::fromDouble(0.125).roundedTo(2).raw(), 1200);
    EXPECT_EQ(Currency::fromDouble(0.135).roundedTo(2).raw(), 1400);
    EXPECT_EQ(Currency::fromDouble(-0.125).roundedTo(2).raw(), -1200);
    EXPECT_DOUBLE_EQ(currencyToDouble(u"7,123456"_s), 7.1235);
    EXPECT_EQ(toCurrency(u"1e300"_s).raw(), 0);
}

TEST(Conversions, RepliesWriteNumbersInTheRegionalForm)
{
    RegionalGuard guard;
    EXPECT_EQ(numberText(12.0), u"12"_s);
    EXPECT_EQ(numberText(12.5), u"12,5"_s);
    EXPECT_EQ(numberText(-0.25), u"-0,25"_s);
    EXPECT_EQ(numberText(1234567.0), u"1234567"_s);
    EXPECT_EQ(numberText(3913228800.0), u"3913228800"_s);
    EXPECT_EQ(toText(2.5), u"2,5"_s);
    EXPECT_EQ(sqlNumber(2.5), u"2.5"_s);
    EXPECT_EQ(sqlNumber(3913228800.0), u"3913228800"_s);
}

TEST(Conversions, PatternsFormatAmountsTheWayTheTillShowsThem)
{
    RegionalGuard guard;
    EXPECT_EQ(formatta(26.0, u"Currency"_s), u"26,00 €"_s);
    EXPECT_EQ(formatta(1234.5, u"currency"_s), u"1.234,50 €"_s);
    EXPECT_EQ(formatta(-6.5, u"currency"_s), u"-6,50 €"_s);
    EXPECT_EQ(formatta(1.005, u"0.00"_s), u"1,01"_s); // patterns round half away from zero
    EXPECT_EQ(formatta(2.5, u"0"_s), u"3"_s);
    EXPECT_EQ(formatta(12.0, u"0.##"_s), u"12"_s);
    EXPECT_EQ(formatta(12.345, u"0.##"_s), u"12,35"_s);
    EXPECT_DOUBLE_EQ(arrotonda(1.234, 2), 1.23);
    EXPECT_DOUBLE_EQ(arrotonda(0.766, 2), 0.77);
    EXPECT_DOUBLE_EQ(arrotonda(7.5, 0), 8.0);
    regional().decimals = 4;
    EXPECT_EQ(formatta(2.5, u"currency"_s), u"2,5000 €"_s);
}

TEST(Conversions, MomentsCountSecondsFromTheLastDaysOf1899)
{
    RegionalGuard guard;
    EXPECT_EQ(dayNumber(QDate(1899, 12, 30)), 0);
    EXPECT_EQ(momentOf(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_EQ(momentOf(QDateTime(QDate(2024, 1, 1), QTime(0, 0))), 3913228800.0);
    EXPECT_EQ(dateTimeOfMoment(3913228800.0 + 27000), QDateTime(QDate(2024, 1, 1), QTime(7, 30)));
    EXPECT_EQ(toDayNumber(QDate(2024, 1, 1)), 45292);
    EXPECT_EQ(toDayNumber(u"01/01/2024"_s), 45292);
    // Not a date: today's day number (the pinned clock's).
    EXPECT_EQ(toDayNumber(u"domani"_s), dayNumber(QDate(2024, 3, 15)));
}
