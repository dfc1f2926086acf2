// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"
#include "HandheldLink.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

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

// The engines a test can run on. Tests that hold for both are parametrised over engines().
enum class Engine { Sqlite, Postgres };
std::vector<Engine> allEngines();
std::string engineName(const ::testing::TestParamInfo<Engine> &info);

// A restaurant database opened through clsDatabase with short retries: a file in a temporary
// folder, or a new database of the test process's private PostgreSQL server.
class TestDatabase
{
public:
    explicit TestDatabase(bool demo = true, Engine engine = Engine::Sqlite);
    // Why this engine cannot run here (no PostgreSQL server binaries); empty when it can.
    QString unavailable() const { return m_unavailable; }
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
    QString m_unavailable;
    std::unique_ptr<clsDatabase> m_db;
};

// The text with every whole real number ("2.0") written as a whole number ("2").
QString wholeReals(QString text);

// Skips the test when its database's engine cannot run on this machine.
#define PLIKO_SKIP_WITHOUT(tdb)                                                                                    \
    do {                                                                                                           \
        if (!(tdb).unavailable().isEmpty())                                                                        \
            GTEST_SKIP() << (tdb).unavailable().toStdString();                                                     \
    } while (false)

// A handheld connection that records what the server did with it, in order. With db set, it also
// counts the replies sent while that database still had a transaction open (sending may let other
// requests run).
class FakeLink : public HandheldLink
{
public:
    int inviaRisposta(const QString &text, int index) override
    {
        replies.append(text);
        events.append(u"reply " + text);
        lastIndex = index;
        sentInsideTransaction += db && db->inTransaction() ? 1 : 0;
        return 1;
    }
    bool aspettaChiusura(int) override
    {
        events.append(QStringLiteral("closed"));
        return true;
    }
    QStringList replies;
    QStringList events;
    int lastIndex = -1;
    clsDatabase *db = nullptr;
    int sentInsideTransaction = 0;
};
