// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp1252.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(WireTextTest, PricesWithTheEuroSignAndItalianAccentsUseTheirWindowsBytes)
{
    EXPECT_EQ(cp1252::encode(u"€ 2,50 caffè però «bis» – “extra”"_s),
              QByteArray("\x80 2,50 caff\xE8 per\xF2 \xABz\xBB \x96 \x93" "extra\x94").replace("z", "bis"));
    EXPECT_EQ(cp1252::decode(QByteArray("Pi\xF9 sale \x80")), u"Più sale €"_s);
}

TEST(WireTextTest, EveryByteSurvivesTheRoundTripAndForeignCharactersBecomeQuestionMarks)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    EXPECT_EQ(cp1252::encode(cp1252::decode(all)), all);
    EXPECT_EQ(cp1252::encode(u"寿司 ok"_s), QByteArray("?? ok"));
}
