// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QTemporaryDir>
#include <memory>

// Pins the regional settings for a test: Italian locale, two decimals, a fixed clock.
class RegionalGuard
{
public:
    explicit RegionalGuard(const QDateTime &now = QDateTime(QDate(2024, 3, 15), QTime(12, 0)));
    ~RegionalGuard();
    FixedClock &clock() { return m_clock; }

private:
    Regional m_saved;
    FixedClock m_clock;
};

// A restaurant database in a temporary folder, opened through clsDatabase with short retries.
class TestDatabase
{
public:
    explicit TestDatabase(bool demo = true);
    clsDatabase &db() { return *m_db; }
    QString path() const { return m_path; }
    QString dir() const { return m_dir.path(); }
    // Runs a statement in the legacy dialect and fails the test when it fails.
    void exec(const QString &sql);
    // The first column of the first row of a query, as text ("" when there is no row).
    QString scalar(const QString &sql);

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<clsDatabase> m_db;
};
