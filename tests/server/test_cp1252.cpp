// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp1252.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// The euro and accents as handhelds send them are in HandheldServerTest; here the rest of the page.
TEST(WireTextTest, EveryByteSurvivesTheRoundTripAndForeignCharactersBecomeQuestionMarks)
{
    EXPECT_EQ(cp1252::encode(u"«bis» – “extra”"_s), QByteArray("\xAB" "bis\xBB \x96 \x93" "extra\x94"));
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    EXPECT_EQ(cp1252::encode(cp1252::decode(all)), all);
    EXPECT_EQ(cp1252::encode(u"寿司 ok"_s), QByteArray("?? ok"));
}
