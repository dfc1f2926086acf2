// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Currency.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QVariant>

class Clock;

// Regional settings of the machine: the locale that numbers are read and written with, and the
// configured number of decimals ("NumeroDecimali"). Set once at start-up; tests set their own.
struct Regional
{
    QLocale locale{QLocale::Italian, QLocale::Italy};
    int decimals = 2;
    const Clock *clock = nullptr; // null: the system clock
};
Regional &regional();

// Tolerant conversions: none ever fails. Request fields and database values are read through them.
namespace tipi {

QString toText(const QVariant &v);               // "" for null or unconvertible
qint32 toLong(const QVariant &v);                // 0 when not a 32-bit number; rounds half to even
qint16 toInt16(const QVariant &v);               // 0 when not a 16-bit number
double toDouble(const QVariant &v);              // 0 when not a number
double currencyToDouble(const QVariant &v);      // read as a currency amount, then as floating point
Currency toCurrency(const QVariant &v);          // 0 when not a number
int toFlag(const QVariant &v);                   // 1 when the value is true, else 0
qint32 toDayNumber(const QVariant &v);           // the value's day number, today's when it is no date

// Strict reading of a text as a number with the regional settings; false when it is not one.
bool parseNumber(QStringView text, double *out);
// Strict reading of a whole 32-bit number (optional sign, digits, surrounding blanks).
bool parseWhole(QStringView text, qint64 *out);

// The regional text form of a number that every reply uses: locale decimal separator, no thousands
// separator, whole numbers without decimals, up to 15 significant digits.
QString numberText(double v);
// A number as it stands bare in a SQL statement: "." as decimal separator.
QString sqlNumber(double v);

// Formats with a pattern: "currency" (any case) or a pattern such as "0.##", "0.00", "##,##0.00".
QString formatta(double v, const QString &pattern);
// Rounds through a "0.##" pattern of n decimals and reads the text back.
double arrotonda(double v, int decimals);

// Moments: seconds from 1899-12-30 00:00 local time; day numbers: whole days from the same origin.
QDate originDate();
qint32 dayNumber(const QDate &d);
QDate dateOfDay(qint64 day);
double momentOf(const QDateTime &dt);
QDateTime dateTimeOfMoment(double moment);
QDateTime now();   // the regional clock's now
QDate today();

} // namespace tipi
