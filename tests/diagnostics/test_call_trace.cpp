// SPDX-License-Identifier: GPL-3.0-or-later
// The call trace and the re-entry guards of click handlers.
#include "CallTrace.h"
#include "FatalSignals.h"
#include "Guarded.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace diagnostics;

namespace {

TEST(ClickGuards, RunningHandlersAreListedWithTheirEntryTime)
{
    const ClickGuard first("frmNano.cmdConnetti");
    const ClickGuard other("frmMain.cmdClear");
    const ClickGuard again("frmNano.cmdConnetti");
    EXPECT_TRUE(first.entered());
    EXPECT_TRUE(other.entered());
    EXPECT_FALSE(again.entered());
    const QStringList lines = runningHandlersText().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.at(1).startsWith(u"frmNano.cmdConnetti:"_s));
    EXPECT_EQ(lines.at(1).mid(lines.at(1).indexOf(u':') + 1).size(), 19);  // dd/mm/yyyy hh:mm:ss
}

void descend(int depth, int *deepest)
{
    PLIKO_TRACE("modTest", "descend");
    *deepest = std::max(*deepest, traceDepth());
    if (depth > 0)
        descend(depth - 1, deepest);
}

TEST(CallTrace, ARunawayRecursionIsToldOnceAndTheStackStaysBounded)
{
    QStringList told;
    setTraceOverflowNotice([&](const QString &text) { told << text; });
    int deepest = 0;
    descend(TraceCapacity + 20, &deepest);
    setTraceOverflowNotice({});
    EXPECT_EQ(deepest, TraceCapacity);
    EXPECT_EQ(told, QStringList{u"Stack overflow in trace module"_s});
    EXPECT_EQ(traceDepth(), 0);
    // The history keeps the most recent entries.
    const QString text = traceText();
    EXPECT_EQ(text.count(u"modTest.descend"_s), TraceHistorySize);
}

TEST(CallTrace, CrashTimesAreWrittenAsTheReportNamesThem)
{
    struct Case
    {
        long long unixTime;
        int offset;
        const char *expected;
    } cases[] = {
        {0, 0, "01.01.1970-00.00.00"},
        {1796591703, 0, "06.12.2026-21.15.03"},
        {1796591703, 3600, "06.12.2026-22.15.03"},
        {951825600, 0, "29.02.2000-12.00.00"},
        {1796594399, 10800, "07.12.2026-00.59.59"},
    };
    for (const Case &c : cases) {
        char out[24] = {};
        formatCrashTime(c.unixTime, c.offset, out);
        EXPECT_STREQ(out, c.expected) << c.unixTime;
    }
}

} // namespace
