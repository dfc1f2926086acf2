// SPDX-License-Identifier: GPL-3.0-or-later
#include "NanoParsing.h"

#include <limits>

namespace nano {

qint32 dividiCampi(const QByteArray &text, char separator, QList<QByteArray> &fields, qint32 &count)
{
    if (count == 0) {
        count = static_cast<qint32>(text.count(separator));
        fields.clear();
        if (count == 0)
            return 0;
        fields.reserve(count);
        qsizetype start = 0;
        for (qint32 i = 0; i < count; ++i) {
            const qsizetype end = text.indexOf(separator, start);
            fields.append(text.mid(start, end - start));
            start = end + 1;
        }
    }
    return count;
}

qint32 leggiIntero(const QByteArray &text)
{
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    qint64 value = 0;
    constexpr qint64 limit = qint64(std::numeric_limits<qint32>::max()) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            value = limit;
    }
    if (negative)
        return static_cast<qint32>(-value);
    return static_cast<qint32>(qMin(value, limit - 1));
}

QString testoRadio(QString text)
{
    text.replace(QLatin1Char('|'), QLatin1Char('/'));
    text.replace(QLatin1Char(';'), QLatin1Char('/'));
    return text;
}

} // namespace nano
