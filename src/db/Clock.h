// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>

// The server's source of "now". Tests pin it with FixedClock.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDateTime at) : m_at(std::move(at)) {}
    QDateTime now() const override { return m_at; }
    void set(const QDateTime &at) { m_at = at; }
    void advance(qint64 seconds) { m_at = m_at.addSecs(seconds); }

private:
    QDateTime m_at;
};
