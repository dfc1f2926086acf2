// SPDX-License-Identifier: GPL-3.0-or-later
#include "cReportData.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace Qt::StringLiterals;

TEST(ReportData, CountedRowsThatWereNeverWrittenReadAsBlank)
{
    cReportData t;
    EXPECT_TRUE(t.EndOfFile()); // an empty table prints no row
    t.setColonne(10);
    t.setRighe(3);
    t.setDati(0, 1, u"2"_s);
    t.setDati(1, 2, u"Spaghetti alla carbonara"_s);
    QStringList seen;
    for (t.MoveFirst(); !t.EndOfFile(); t.MoveNext())
        seen.append(t.GetFieldValue(1).toString() + u'|' + t.GetFieldValue(2).toString());
    EXPECT_EQ(seen, QStringList({u"2|"_s, u"|Spaghetti alla carbonara"_s, u"|"_s}));
    EXPECT_EQ(t.GetFieldValue(40).typeId(), QMetaType::QString);
    // A text longer than the announced field size comes back whole.
    const QString long60(60, u'x');
    t.setDati(0, 2, long60);
    t.MoveFirst();
    EXPECT_EQ(t.GetFieldValue(2).toString(), long60);
}

TEST(ReportData, CellsOutsideTheTableAreRefused)
{
    cReportData t;
    EXPECT_THROW(t.setDati(0, 41, u"x"_s), std::out_of_range);
    EXPECT_THROW(t.setDati(-1, 1, u"x"_s), std::out_of_range);
    EXPECT_NO_THROW(t.setDati(0, 40, u"x"_s));
    EXPECT_NO_THROW(t.setDati(32767, 0, u"x"_s));
    t.SetBookmark(90001);
    EXPECT_THROW(t.GetFieldValue(0), std::out_of_range);
    t.SetBookmark(0);
    EXPECT_THROW(t.GetFieldValue(41), std::out_of_range);
    t.setRighe(32767);
    EXPECT_THROW(t.addRighe(1), std::overflow_error);
    EXPECT_EQ(t.righe(), 32767);
}
