// SPDX-License-Identifier: GPL-3.0-or-later
#include "modGestioneTipiDato.h"

#include "Clock.h"

#include <QDateTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace Qt::StringLiterals;

Regional &regional()
{
    static Regional r;
    return r;
}

namespace tipi {

namespace {

bool numberOf(const QVariant &v, double *out)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return false;
    case QMetaType::Bool:
        *out = v.toBool() ? -1.0 : 0.0; // the engine's true is -1
        return true;
    // The kinds the database gives back are read straight from the variant, without its
    // conversion machinery.
    case QMetaType::Int:
        *out = *static_cast<const int *>(v.constData());
        return true;
    case QMetaType::LongLong:
        *out = double(*static_cast<const qlonglong *>(v.constData()));
        return true;
    case QMetaType::Double:
        *out = *static_cast<const double *>(v.constData());
        return std::isfinite(*out);
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
        *out = v.toDouble();
        return std::isfinite(*out);
    case QMetaType::QString:
        return parseNumber(v.toString(), out);
    case QMetaType::QByteArray:
        return parseNumber(QString::fromLatin1(v.toByteArray()), out);
    case QMetaType::QDate:
        if (!v.toDate().isValid())
            return false;
        *out = dayNumber(v.toDate());
        return true;
    case QMetaType::QDateTime:
        if (!v.toDateTime().isValid())
            return false;
        *out = momentOf(v.toDateTime()) / 86400.0;
        return true;
    default:
        return false;
    }
}

bool wholeInRange(const QVariant &v, double lo, double hi, qint64 *out)
{
    double d = 0;
    if (!numberOf(v, &d))
        return false;
    const double r = std::nearbyint(d); // half to even, as the legacy conversions
    if (r < lo || r > hi)
        return false;
    *out = static_cast<qint64>(r);
    return true;
}

// |v| scaled by 10^decimals and rounded half away from zero, read off its 15-significant-digit
// form so that 1.005 rounds as the number a person wrote.
double roundedScaled(double v, int decimals)
{
    // Away from a half (and small enough that the steps below move it by far less than 0.01), the
    // 15-digit form cannot change which way it rounds: the usual case, without the text.
    const double scaled = std::fabs(v) * std::pow(10.0, decimals);
    if (scaled < 1e12 && std::fabs(scaled - std::floor(scaled) - 0.5) > 0.01)
        return std::round(scaled);
    // The %.15g form, written and read back without the C library's locale-bound printf.
    char digits[40];
    const auto written = std::to_chars(digits, digits + sizeof digits, std::fabs(v), std::chars_format::general, 15);
    double clean = 0;
    std::from_chars(digits, written.ptr, clean);
    return std::round(clean * std::pow(10.0, decimals) * (1 + 1e-15));
}

QString roundedDigits(double v, int decimals)
{
    return QString::number(roundedScaled(v, decimals), 'f', 0);
}

// The simple forms handhelds and the database send ("12", "-3,5", "7.25"): read without the
// locale machinery, which costs far more. Anything else goes the full way.
bool parseSimple(QStringView t, QChar decimal, double *out)
{
    // Long enough for any number a field holds; a longer text goes the full way.
    char ascii[64];
    if (t.size() >= qsizetype(sizeof ascii))
        return false;
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+'))
        ++i;
    const qsizetype digitsFrom = i;
    bool decimals = false;
    for (qsizetype j = 0; j < t.size(); ++j) {
        const char16_t c = t[j].unicode();
        if (j < digitsFrom) {
            ascii[j] = char(c);
        } else if (c >= u'0' && c <= u'9') {
            ascii[j] = char(c);
        } else if (c == decimal.unicode() && !decimals && j > digitsFrom && j + 1 < t.size()) {
            decimals = true;
            ascii[j] = '.';
        } else {
            return false;
        }
    }
    if (t.size() == digitsFrom)
        return false;
    // from_chars reads no leading '+'; the sign is put back by hand.
    const bool negative = ascii[0] == '-';
    const char *from = ascii + digitsFrom;
    double v = 0;
    const auto r = std::from_chars(from, ascii + t.size(), v);
    if (r.ec != std::errc() || r.ptr != ascii + t.size())
        return false;
    *out = negative ? -v : v;
    return true;
}

// The locale's decimal separator, looked up again only when the locale changed.
QChar decimalSeparator()
{
    thread_local QLocale seen{QLocale::C};
    thread_local QChar decimal = u'.';
    thread_local bool known = false;
    const QLocale &now = regional().locale;
    if (!known || now != seen) {
        const QString d = now.decimalPoint();
        decimal = d.size() == 1 ? d.at(0) : QChar();
        seen = now;
        known = true;
    }
    return decimal;
}

} // namespace

bool parseNumber(QStringView text, double *out)
{
    const QStringView t = text.trimmed();
    if (t.isEmpty())
        return false;
    const QChar decimal = decimalSeparator();
    if (!decimal.isNull() && parseSimple(t, decimal, out) && std::isfinite(*out))
        return true;
    bool ok = false;
    double d = regional().locale.toDouble(t, &ok);
    if (!ok) {
        // A point as decimal separator is read too when the locale's own form does not fit:
        // handhelds and files written elsewhere use it.
        d = QLocale::c().toDouble(t, &ok);
    }
    if (!ok || !std::isfinite(d))
        return false;
    *out = d;
    return true;
}

bool parseWhole(QStringView text, qint64 *out)
{
    const QStringView t = text.trimmed();
    if (t.isEmpty())
        return false;
    int i = 0;
    if (t.at(0) == u'+' || t.at(0) == u'-')
        i = 1;
    if (i == t.size())
        return false;
    for (qsizetype j = i; j < t.size(); ++j)
        if (!t.at(j).isDigit() || t.at(j).unicode() > 127)
            return false;
    bool ok = false;
    const qint64 v = t.toLongLong(&ok);
    if (!ok || v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        return false;
    *out = v;
    return true;
}

QString toText(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return {};
    case QMetaType::QString:
        return v.toString();
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray());
    case QMetaType::Bool:
        return v.toBool() ? u"True"_s : u"False"_s;
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(v.toDouble());
    case QMetaType::QDate:
        return regional().locale.toString(v.toDate(), QLocale::ShortFormat);
    case QMetaType::QDateTime:
        return regional().locale.toString(v.toDateTime(), QLocale::ShortFormat);
    default:
        if (v.canConvert<QString>())
            return v.toString();
        return {};
    }
}

qint32 toLong(const QVariant &v)
{
    qint64 r = 0;
    return wholeInRange(v, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), &r)
        ? static_cast<qint32>(r) : 0;
}

qint16 toInt16(const QVariant &v)
{
    qint64 r = 0;
    return wholeInRange(v, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max(), &r)
        ? static_cast<qint16>(r) : 0;
}

double toDouble(const QVariant &v)
{
    double d = 0;
    return numberOf(v, &d) ? d : 0.0;
}

Currency toCurrency(const QVariant &v)
{
    double d = 0;
    if (!numberOf(v, &d) || std::fabs(d) > 922337203685477.0)
        return {};
    return Currency::fromDouble(d);
}

double currencyToDouble(const QVariant &v)
{
    return toCurrency(v).toDouble();
}

int toFlag(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString) {
        const QString t = v.toString().trimmed();
        if (t.compare(u"true"_s, Qt::CaseInsensitive) == 0 || t.compare(u"vero"_s, Qt::CaseInsensitive) == 0)
            return 1;
    }
    double d = 0;
    return numberOf(v, &d) && d != 0.0 ? 1 : 0;
}

qint32 toDayNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::QDate:
        if (v.toDate().isValid())
            return dayNumber(v.toDate());
        break;
    case QMetaType::QDateTime:
        if (v.toDateTime().isValid())
            return dayNumber(v.toDateTime().date());
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double: {
        // Dates are stored as day numbers (a fraction is the time of day).
        const double d = v.toDouble();
        if (std::isfinite(d) && std::fabs(d) < 3e6)
            return static_cast<qint32>(std::floor(d));
        break;
    }
    case QMetaType::QString: {
        const QString t = v.toString().trimmed();
        for (const QString &fmt : {regional().locale.dateFormat(QLocale::ShortFormat), u"dd/MM/yyyy"_s,
                                   u"yyyy-MM-dd"_s}) {
            const QDate d = QDate::fromString(t, fmt);
            if (d.isValid())
                return dayNumber(d);
        }
        break;
    }
    default:
        break;
    }
    return dayNumber(today());
}

QString numberText(double v)
{
    if (!std::isfinite(v))
        return u"0"_s;
    if (v == std::trunc(v) && std::fabs(v) < 1e15)
        return QString::number(static_cast<qint64>(v));
    QString s = QString::number(v, 'g', 15);
    s.replace(u'e', u'E');
    return s.replace(u'.', regional().locale.decimalPoint());
}

QString sqlNumber(double v)
{
    if (!std::isfinite(v))
        return u"0"_s;
    if (v == std::trunc(v) && std::fabs(v) < 1e15)
        return QString::number(static_cast<qint64>(v));
    return QString::number(v, 'g', 15);
}

QString formatta(double v, const QString &pattern)
{
    QString pat = pattern;
    QString suffix;
    if (pattern.compare(u"currency"_s, Qt::CaseInsensitive) == 0) {
        pat = regional().decimals == 4 ? u"##,####0.0000"_s : u"##,##0.00"_s;
        suffix = u" "_s + regional().locale.currencySymbol();
    }
    const qsizetype dot = pat.indexOf(u'.');
    const QString intPart = dot < 0 ? pat : pat.left(dot);
    const QString decPart = dot < 0 ? QString() : pat.mid(dot + 1);
    const bool grouping = intPart.contains(u',');
    const int minDec = int(decPart.count(u'0'));
    const int maxDec = int(decPart.count(u'0') + decPart.count(u'#'));
    const int minInt = int(intPart.count(u'0'));

    if (!std::isfinite(v))
        v = 0;
    QString digits = roundedDigits(v, maxDec);
    while (digits.size() <= maxDec)
        digits.prepend(u'0');
    QString ip = digits.left(digits.size() - maxDec);
    QString fp = digits.mid(digits.size() - maxDec);
    while (fp.size() > minDec && fp.endsWith(u'0'))
        fp.chop(1);
    while (ip.size() > 1 && ip.startsWith(u'0') && ip.size() > minInt)
        ip.remove(0, 1);
    if (minInt == 0 && ip == u"0"_s)
        ip.clear();
    if (grouping) {
        const QString sep = regional().locale.groupSeparator();
        for (qsizetype i = ip.size() - 3; i > 0; i -= 3)
            ip.insert(i, sep);
    }
    const bool zero = std::all_of(digits.cbegin(), digits.cend(), [](QChar c) { return c == u'0'; });
    QString out = (v < 0 && !zero) ? u"-"_s : QString();
    out += ip;
    if (!fp.isEmpty())
        out += regional().locale.decimalPoint() + fp;
    if (out.isEmpty() || out == u"-"_s)
        out += u'0';
    return out + suffix;
}

double arrotonda(double v, int decimals)
{
    // What formatting with "0.##" and reading the text back gives, without the text.
    if (!std::isfinite(v))
        return 0;
    const int d = std::max(decimals, 0);
    const double r = roundedScaled(v, d) / std::pow(10.0, d);
    return v < 0 ? -r : r;
}

QDate originDate()
{
    return QDate(1899, 12, 30);
}

qint32 dayNumber(const QDate &d)
{
    return static_cast<qint32>(originDate().daysTo(d));
}

QDate dateOfDay(qint64 day)
{
    return originDate().addDays(day);
}

double momentOf(const QDateTime &dt)
{
    return double(dayNumber(dt.date())) * 86400.0 + std::round(dt.time().msecsSinceStartOfDay() / 1000.0);
}

QDateTime dateTimeOfMoment(double moment)
{
    const double day = std::floor(moment / 86400.0);
    const double secs = moment - day * 86400.0;
    return QDateTime(dateOfDay(static_cast<qint64>(day)), QTime(0, 0).addSecs(static_cast<int>(secs)));
}

QDateTime now()
{
    return regional().clock ? regional().clock->now() : QDateTime::currentDateTime();
}

QDate today()
{
    return now().date();
}

} // namespace tipi
