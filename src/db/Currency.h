// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <compare>
#include <cstdint>

// Money as the legacy currency type: a 64-bit integer scaled by 10,000 (four decimals).
// Conversions from floating point round half to even, as the legacy engine did.
class Currency
{
public:
    static constexpr qint64 Scale = 10000;

    constexpr Currency() = default;
    static constexpr Currency fromRaw(qint64 raw) { Currency c; c.m_raw = raw; return c; }
    static Currency fromDouble(double value);
    static constexpr Currency fromUnits(qint64 units) { return fromRaw(units * Scale); }

    constexpr qint64 raw() const { return m_raw; }
    double toDouble() const { return static_cast<double>(m_raw) / Scale; }

    // Rounds to n decimals, half to even (the platform's rounding function).
    Currency roundedTo(int decimals) const;

    constexpr Currency operator+(Currency o) const { return fromRaw(m_raw + o.m_raw); }
    constexpr Currency operator-(Currency o) const { return fromRaw(m_raw - o.m_raw); }
    constexpr Currency operator-() const { return fromRaw(-m_raw); }
    Currency &operator+=(Currency o) { m_raw += o.m_raw; return *this; }
    Currency &operator-=(Currency o) { m_raw -= o.m_raw; return *this; }
    // Currency times a plain number rounds the product back to four decimals.
    Currency operator*(double factor) const { return fromDouble(toDouble() * factor); }

    constexpr auto operator<=>(const Currency &) const = default;

private:
    qint64 m_raw = 0;
};
