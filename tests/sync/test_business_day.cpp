// SPDX-License-Identifier: GPL-3.0-or-later
// The business day that open orders belong to, seen from the clock on the server's wall.
#include "BusinessDay.h"
#include "SyncFixture.h"

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

void expectWindow(const BusinessDay::Window &w, double start, double end)
{
    EXPECT_EQ(w.start, start);
    EXPECT_EQ(w.end, end);
}
} // namespace

TEST(BusinessDay, aDayFromSevenToElevenMovesBackWhenAskedBeforeOpening)
{
    expectWindow(BusinessDay::compute(7 * H, 23 * H, friday(12), Rule::ShiftBeforeOpening), Mar14 + 7 * H,
                 Mar14 + 23 * H);
    expectWindow(BusinessDay::compute(7 * H, 23 * H, friday(5), Rule::ShiftBeforeOpening), Mar13 + 7 * H,
                 Mar13 + 23 * H);
    EXPECT_EQ(BusinessDay::compute(7 * H, 23 * H, friday(6, 59), Rule::ShiftBeforeOpening).start, Mar13 + 7 * H);
    EXPECT_EQ(BusinessDay::compute(7 * H, 23 * H, friday(7, 0), Rule::ShiftBeforeOpening).start, Mar14 + 7 * H);
    // The other operators' tables never move back.
    expectWindow(BusinessDay::compute(7 * H, 23 * H, friday(5), Rule::FixedBase), Mar14 + 7 * H, Mar14 + 23 * H);
}

TEST(BusinessDay, anEveningDayAndADayOfEqualHoursRunPastMidnight)
{
    expectWindow(BusinessDay::compute(18 * H, 2 * H, friday(20), Rule::ShiftBeforeOpening), Mar14 + 18 * H,
                 Mar15 + 2 * H);
    expectWindow(BusinessDay::compute(10 * H, 10 * H, friday(12), Rule::ShiftBeforeOpening), Mar14 + 10 * H,
                 Mar15 + 10 * H);
}

TEST_P(SyncTest, theDemoHoursInEitherFormGiveTheCurrentService)
{
    // 10:00 to 02:00 as the back office stores them (one day plus the hours), and as times of day.
    for (const auto &[opening, closing] : {std::pair{u"122400"_s, u"93600"_s}, std::pair{u"10:00"_s, u"02:00"_s}}) {
        setOpeningHours(opening, closing);
        expectWindow(BusinessDay::window(data.db(), Rule::ShiftBeforeOpening), Mar15 + 10 * H, Mar15 + 26 * H);
        expectWindow(BusinessDay::window(data.db(), Rule::FixedBase), Mar15 + 10 * H, Mar15 + 26 * H);
        // At one in the morning the night's service is still the current one.
        regional.clock().set(QDateTime(QDate(2024, 3, 16), QTime(1, 0)));
        expectWindow(BusinessDay::window(data.db(), Rule::ShiftBeforeOpening), Mar15 + 10 * H, Mar15 + 26 * H);
        regional.clock().set(friday(12));
    }
    // Seconds without the day part are added as they stand: the window lies a day back.
    setOpeningHours(u"25200"_s, u"82800"_s);
    expectWindow(BusinessDay::window(data.db(), Rule::ShiftBeforeOpening), Mar14 + 7 * H, Mar14 + 23 * H);
    // Missing or unreadable hours count as 0: a whole day from midnight to midnight.
    setOpeningHours(u"sera"_s, u"25:00"_s);
    expectWindow(BusinessDay::window(data.db(), Rule::ShiftBeforeOpening), Mar14, Mar15);
}
