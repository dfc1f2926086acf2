// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>
#include <QStringList>
#include <QString>
#include <QVariant>

Q_DECLARE_LOGGING_CATEGORY(lcSync)

class Recordset;

// How database values become the fields of a synchronisation reply: the regional text form
// (decimal comma under Italian settings, no thousands separator, whole numbers bare), yes/no as
// "1"/"0", null as an empty field. Fields are never escaped: the handheld reads them as they are.
namespace synctext {

inline constexpr QChar Cr = u'\r';

QString field(const QVariant &v);   // the value as text, "" for null
QString whole(const QVariant &v);   // as a 32-bit integer (0 when it is not one)
QString flag(const QVariant &v);    // "1" for yes, "0" for no
// A date column (a day number as stored) as the regional short date with a four-digit year,
// "05/12/2026" under Italian settings; "" for null, an unreadable value as it stands.
QString day(const QVariant &v);

// The time of day of a number of seconds (its part within the day): hours without a leading
// zero, a colon, two-digit minutes ("7:05").
QString oraDelGiorno(double seconds);
// The same time of day as whole minutes after midnight.
int minutiDelGiorno(double seconds);

// Now to the minute, as seconds from 1899-12-30: today's midnight plus the current hours and
// minutes (seconds dropped), the reference for the reservation windows.
double momentoAlMinuto();

// The positions of the named columns in a query's rows, looked up once before a long loop
// rather than by name for every row (-1 for a column the query does not have).
QList<int> columns(const Recordset &rs, const QStringList &names);

} // namespace synctext
