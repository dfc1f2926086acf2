// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "modGestioneTipiDato.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tipi;

TEST(Conversions, ItalianNumbersReadWithTheCommaAsDecimalSeparator)
{
    RegionalGuard guard;
    EXPECT_DOUBLE_EQ(toDouble(u"12,50"_s), 12.5);
    EXPECT_DOUBLE_EQ(toDouble(u" 12,50 "_s), 12.5);
    EXPECT_DOUBLE_EQ(toDouble(u"-3,25"_s), -3.25);
    EXPECT_DOUBLE_EQ(toDouble(u"+4"_s), 4.0);
    // A point is read as the decimal separator when the Italian form does not fit.
    EXPECT_DOUBLE_EQ(toDouble(u"12.50"_s), 12.5);
    EXPECT_DOUBLE_EQ(toDouble(u"1.250,5"_s), 1250.5);
}
