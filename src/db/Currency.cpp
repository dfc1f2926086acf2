// SPDX-License-Identifier: GPL-3.0-or-later
#include "Currency.h"

#include <cmath>
#include <limits>

Currency Currency::fromDouble(double value)
{
    if (!std::isfinite(value))
        return {};
    const double scaled = std::nearbyint(value * Scale);
    // Out of the type's range: saturate rather than overflow into garbage.
    if (scaled >= 9.2e18)
        return fromRaw(std::numeric_limits<qint64>::max());
    if (scaled <= -9.2e18)
        return fromRaw(std::numeric_limits<qint64>::min());
    return fromRaw(static_cast<qint64>(scaled));
}

Currency Currency::roundedTo(int decimals) const
{
    if (decimals >= 4 || decimals < 0)
        return *this;
    qint64 unit = 1;
    for (int i = decimals; i < 4; ++i)
        unit *= 10;
    const qint64 q = m_raw / unit;
    const qint64 r = m_raw % unit;
    const qint64 twice = 2 * (r < 0 ? -r : r);
    qint64 result = q;
    if (twice > unit || (twice == unit && (q % 2 != 0)))
        result += (m_raw < 0 ? -1 : 1);
    return fromRaw(result * unit);
}
