// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SincroReplies.h"
#include "TestSupport.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// The demo restaurant on Friday 15 March 2024 at noon, with a handheld connected on slot 7.
// Orders, lines and reservations are added in the legacy dialect, as the back office would.
// Its hours are set to 10:00-02:00 without the day the back office stores (36000 and 7200), so
// the business day is Thursday's: the cases below are written around Thursday's dinner.
class SyncTest : public ::testing::TestWithParam<Engine>
{
protected:
    SyncTest()
    {
        link.db = &data.db();
        if (data.unavailable().isEmpty())
            setOpeningHours(QStringLiteral("36000"), QStringLiteral("7200"));
    }
    void SetUp() override { PLIKO_SKIP_WITHOUT(data); }

    static constexpr int Slot = 7;
    // Midnight of Thursday 14 March 2024 in seconds from 1899-12-30.
    static constexpr double Mar14 = 3919536000.0;
    static constexpr double Mar15 = Mar14 + 86400.0;
    static constexpr double H = 3600.0;

    RegionalGuard regional;
    TestDatabase data{true, GetParam()};
    modPlikoServer mod{data.db()};
    FakeLink link;
    SincroReplies replies{data.db(), mod, link};

    void setOpeningHours(const QString &opening, const QString &closing)
    {
        data.exec(u"UPDATE var_str SET value = '%1' WHERE name = 'ora_apertura_attivita'"_s.arg(opening));
        data.exec(u"UPDATE var_str SET value = '%1' WHERE name = 'ora_chiusura_attivita'"_s.arg(closing));
    }
    // The demo's own hours, 10:00 to 02:00 stored with their day: the current service.
    void useDemoHours() { setOpeningHours(QStringLiteral("122400"), QStringLiteral("93600")); }
    void setLong(const QString &name, qint32 value)
    {
        data.exec(u"DELETE FROM var_long WHERE name = '%1'"_s.arg(name));
        data.exec(u"INSERT INTO var_long (name, value) VALUES ('%1', %2)"_s.arg(name).arg(value));
    }
    // An order opened at `inizio` by `operatore` on `tables`; returns its key.
    qint32 addOrder(double inizio, qint32 operatore, const QList<int> &tables, int coperti = 2, int stato = 0,
                    bool preConto = false)
    {
        data.exec(u"INSERT INTO comande (inizio, ultima_ordinazione, data, coperti, id_operatore, stato, fine, gia_scaricato,"
                  " pre_conto) VALUES (%1, %2, %3, %4, %5, %6, 0, false, %7)"_s.arg(tipi::sqlNumber(inizio),
                  tipi::sqlNumber(inizio + 600)).arg(qint64(inizio / 86400)).arg(coperti).arg(operatore).arg(stato)
                      .arg(preConto ? u"true"_s : u"false"_s));
        const qint32 key = data.scalar(u"SELECT max(id_comanda) FROM comande"_s).toInt();
        for (int t : tables)
            data.exec(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES (%1, %2)"_s.arg(t).arg(key));
        return key;
    }
    qint32 addLine(qint32 order, int article, const QString &quantita, int turno)
    {
        data.exec(u"INSERT INTO merce_comande (id_comanda, id_articolo, quantita, turno) VALUES (%1, %2, %3, %4)"_s
                      .arg(order).arg(article).arg(quantita).arg(turno));
        return data.scalar(u"SELECT max(id_merce_comanda) FROM merce_comande"_s).toInt();
    }
    void addVariation(qint32 line, int variation, const QString &quantita)
    {
        data.exec(u"INSERT INTO merce_comande_variazioni (id_merce_comanda, id_variazione, quantita) VALUES (%1, %2, %3)"_s
                      .arg(line).arg(variation).arg(quantita));
    }
    void addReservation(double dataOra, int table)
    {
        data.exec(u"INSERT INTO prenotazioni (data_ora, nome, persone) VALUES (%1, 'Cliente', 2)"_s
                      .arg(tipi::sqlNumber(dataOra)));
        data.exec(u"INSERT INTO tavoli_prenotati (id_prenotazione, numero_tavolo) VALUES (%1, %2)"_s
                      .arg(data.scalar(u"SELECT max(id_prenotazione) FROM prenotazioni"_s)).arg(table));
    }
    void clearReservations()
    {
        data.exec(u"DELETE FROM tavoli_prenotati"_s);
        data.exec(u"DELETE FROM prenotazioni"_s);
    }
    // The one reply sent, or a failure when there were none or several.
    QString onlyReply() const
    {
        EXPECT_EQ(link.replies.size(), 1) << link.replies.join(u" // "_s).toStdString();
        return link.replies.value(0);
    }
};
