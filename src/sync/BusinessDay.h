// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

class clsDatabase;

// The business day to which open orders belong, as a window of moments (seconds from
// 1899-12-30), built from the settings "ora_apertura_attivita" and "ora_chiusura_attivita"
// added to midnights. A day whose opening is not before its closing ends after midnight.
class BusinessDay
{
public:
    enum class Rule {
        // The order replies of a handheld: before today's opening time the window moves one day
        // back, so a waiter who asks in the small hours still sees the night's orders.
        ShiftBeforeOpening,
        // The other operators' tables: always yesterday's midnight as the base, no shift.
        FixedBase,
    };

    struct Window
    {
        double start = 0;
        double end = 0;
        bool contains(double moment) const { return moment >= start && moment <= end; }
    };

    // Reads the two settings and computes the window for the regional clock's now.
    static Window window(clsDatabase &db, Rule rule);
    // The window for given opening and closing values (seconds) at a given moment.
    static Window compute(double opening, double closing, const QDateTime &now, Rule rule);
    // A setting as seconds: a number of seconds as the back office stores it (carrying one day:
    // 7:00 is 111600), or a time of day written "H:mm", read as that same stored value; anything
    // else counts as 0.
    static double settingSeconds(const QString &text);
};
