// SPDX-License-Identifier: GPL-3.0-or-later
// The business day that open orders belong to, seen from the clock on the server's wall.
#include "BusinessDay.h"
#include "SyncFixture.h"

using namespace Qt::StringLiterals;
using Rule = BusinessDay::Rule;

namespace {
constexpr double Mar13 = 3919449600.0; // midnight of Wednesday 13 March 2024
constexpr double Mar14 = Mar13 + 86400.0;
constexpr double Mar15 = Mar14 + 86400.0;
constexpr double H = 3600.0;

QDateTime friday(int hour, int minute = 0)
{
    return QDateTime(QDate(2024, 3, 15), QTime(hour, minute));
}
} // namespace

TEST(BusinessDay, aLunchAndDinnerDayAskedAtNoonLiesOnTheDayBefore)
{
    const auto w = BusinessDay::compute(7 * H, 23 * H, friday(12), Rule::ShiftBeforeOpening);
    EXPECT_EQ(w.start, Mar14 + 7 * H);
    EXPECT_EQ(w.end, Mar14 + 23 * H);
}

TEST(BusinessDay, askedAtFiveInTheMorningItMovesOneMoreDayBack)
{
    const auto w = BusinessDay::compute(7 * H, 23 * H, friday(5), Rule::ShiftBeforeOpening);
    EXPECT_EQ(w.start, Mar13 + 7 * H);
    EXPECT_EQ(w.end, Mar13 + 23 * H);
}

TEST(BusinessDay, theShiftEndsAtTheOpeningMinute)
{
    EXPECT_EQ(BusinessDay::compute(7 * H, 23 * H, friday(6, 59), Rule::ShiftBeforeOpening).start, Mar13 + 7 * H);
    EXPECT_EQ(BusinessDay::compute(7 * H, 23 * H, friday(7, 0), Rule::ShiftBeforeOpening).start, Mar14 + 7 * H);
}

TEST(BusinessDay, anEveningDayRunsPastMidnight)
{
    const auto w = BusinessDay::compute(18 * H, 2 * H, friday(20), Rule::ShiftBeforeOpening);
    EXPECT_EQ(w.start, Mar14 + 18 * H);
    EXPECT_EQ(w.end, Mar15 + 2 * H);
}

TEST(BusinessDay, equalOpeningAndClosingMakeADayOfTwentyFourHours)
{
    const auto w = BusinessDay::compute(10 * H, 10 * H, friday(12), Rule::ShiftBeforeOpening);
    EXPECT_EQ(w.start, Mar14 + 10 * H);
    EXPECT_EQ(w.end, Mar15 + 10 * H);
}

TEST(BusinessDay, theOtherOperatorsWindowNeverMovesBack)
{
    const auto early = BusinessDay::compute(7 * H, 23 * H, friday(5), Rule::FixedBase);
    EXPECT_EQ(early.start, Mar14 + 7 * H);
    EXPECT_EQ(early.end, Mar14 + 23 * H);
    const auto night = BusinessDay::compute(18 * H, 2 * H, friday(1), Rule::FixedBase);
    EXPECT_EQ(night.start, Mar14 + 18 * H);
    EXPECT_EQ(night.end, Mar15 + 2 * H);
}

TEST(BusinessDay, hoursAreReadAsSecondsOrAsATimeOfDay)
{
    EXPECT_EQ(BusinessDay::settingSeconds(u"25200"_s), 7 * H);
    EXPECT_EQ(BusinessDay::settingSeconds(u"7:30"_s), 7.5 * H);
    EXPECT_EQ(BusinessDay::settingSeconds(u"02:00"_s), 2 * H);
    EXPECT_EQ(BusinessDay::settingSeconds(u""_s), 0);
    EXPECT_EQ(BusinessDay::settingSeconds(u"sera"_s), 0);
    EXPECT_EQ(BusinessDay::settingSeconds(u"25:00"_s), 0);
}

TEST_F(SyncTest, theWindowFollowsTheRestaurantsSettings)
{
    // The demo restaurant opens at 10:00 and closes at 02:00 the next night.
    auto w = BusinessDay::window(data.db(), Rule::ShiftBeforeOpening);
    EXPECT_EQ(w.start, Mar14 + 10 * H);
    EXPECT_EQ(w.end, Mar15 + 2 * H);

    setOpeningHours(u"25200"_s, u"82800"_s);
    w = BusinessDay::window(data.db(), Rule::ShiftBeforeOpening);
    EXPECT_EQ(w.start, Mar14 + 7 * H);
    EXPECT_EQ(w.end, Mar14 + 23 * H);

    // Without settings both count as 0: a whole day from midnight to midnight.
    data.exec(u"DELETE FROM var_str WHERE name LIKE 'ora_%'"_s);
    w = BusinessDay::window(data.db(), Rule::ShiftBeforeOpening);
    EXPECT_EQ(w.start, Mar14);
    EXPECT_EQ(w.end, Mar15);
}
