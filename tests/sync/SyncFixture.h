// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HandheldLink.h"
#include "SincroReplies.h"
#include "TestSupport.h"
#include "modPlikoServer.h"

#include <QStringList>
#include <gtest/gtest.h>

// A connection that keeps every reply it is asked to send, and notes a reply sent while the
// database still had a transaction open (sending may let other requests run).
class RecordingLink final : public HandheldLink
{
public:
    explicit RecordingLink(clsDatabase &db) : m_db(db) {}
    int inviaRisposta(const QString &text, int index) override
    {
        replies.append(text);
        indexes.append(index);
        sentInsideTransaction += m_db.inTransaction() ? 1 : 0;
        return 1;
    }
    bool aspettaChiusura(int) override { return true; }

    QStringList replies;
    QList<int> indexes;
    int sentInsideTransaction = 0;

private:
    clsDatabase &m_db;
};

// The demo restaurant on Friday 15 March 2024 at noon, with a handheld connected on slot 7.
// Orders, lines and reservations are added in the legacy dialect, as the back office would.
// Its hours are set to 10:00-02:00 without the day the back office stores (36000 and 7200), so
// the business day is Thursday's: the cases below are written around Thursday's dinner.
class SyncTest : public ::testing::TestWithParam<Engine>
{
protected:
    SyncTest()
    {
        if (data.unavailable().isEmpty())
            setOpeningHours(QStringLiteral("36000"), QStringLiteral("7200"));
    }
    void SetUp() override { PLIKO_SKIP_WITHOUT(data); }

    static constexpr int Slot = 7;
    // Midnight of Thursday 14 March 2024 in seconds from 1899-12-30.
    static constexpr double Mar14 = 3919536000.0;
    static constexpr double Mar15 = Mar14 + 86400.0;

    RegionalGuard regional;
    TestDatabase data{true, GetParam()};
    modPlikoServer mod{data.db()};
    RecordingLink link{data.db()};
    SincroReplies replies{data.db(), mod, link};

    void setOpeningHours(const QString &opening, const QString &closing);
    // The demo's own hours, 10:00 to 02:00 stored with their day: the current service.
    void useDemoHours() { setOpeningHours(QStringLiteral("122400"), QStringLiteral("93600")); }
    void setLong(const QString &name, qint32 value);

    // An order opened at `inizio` by `operatore` on `tables`; returns its key.
    qint32 addOrder(double inizio, qint32 operatore, const QList<int> &tables, int coperti = 2, int stato = 0,
                    bool preConto = false);
    qint32 addLine(qint32 order, int article, const QString &quantita, int turno);
    void addVariation(qint32 line, int variation, const QString &quantita);
    void addReservation(double dataOra, int table);
    void clearReservations();

    // The one reply sent, or a failure when there were none or several.
    QString onlyReply() const;
};
