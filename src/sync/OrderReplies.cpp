// SPDX-License-Identifier: GPL-3.0-or-later
#include "OrderReplies.h"

#include "BusinessDay.h"
#include "OrderRecords.h"
#include "SyncText.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

using namespace Qt::StringLiterals;
using synctext::Cr;
using synctext::field;

QString OrderReplies::sincroComande(qint32 operatore)
{
    const auto w = BusinessDay::window(m_db, BusinessDay::Rule::ShiftBeforeOpening);
    auto rs = m_db.openDynaset(u"SELECT comande.id_comanda, numero_tavolo, inizio, ultima_ordinazione, coperti, "
                               "data, pre_conto FROM comande, tavoli_occupati WHERE comande.id_comanda = "
                               "tavoli_occupati.id_comanda AND inizio BETWEEN "_s
                               + tipi::sqlNumber(w.start) + u" AND "_s + tipi::sqlNumber(w.end)
                               + u" AND stato = 0 AND id_operatore = "_s + QString::number(operatore));
    if (!rs)
        return {};
    OrderRecords records(m_db);
    QString reply = u"SincroComande|"_s;
    // One row per order and occupied table: an order on two tables is sent twice, each time
    // whole, so the handheld finds it under either table.
    for (; !rs->isEOF(); rs->moveNext()) {
        const qint32 orderKey = tipi::toLong(rs->value(u"id_comanda"_s));
        QString tables;
        if (!records.tableList(orderKey, &tables))
            return {};
        reply += u"C|"_s + OrderRecords::header(*rs, tables);
        if (!records.lines(orderKey, &reply))
            return {};
    }
    return reply + Cr;
}

QString OrderReplies::sincroTavoliAltriOperatori(qint32 operatore)
{
    const auto w = BusinessDay::window(m_db, BusinessDay::Rule::FixedBase);
    auto rs = m_db.openDynaset(u"SELECT numero_tavolo FROM comande, tavoli_occupati WHERE comande.id_comanda = "
                               "tavoli_occupati.id_comanda AND inizio BETWEEN "_s
                               + tipi::sqlNumber(w.start) + u" AND "_s + tipi::sqlNumber(w.end)
                               + u" AND stato = 0 AND id_operatore <> "_s + QString::number(operatore));
    if (!rs)
        return {};
    QString reply = u"SincroTavoliUsati|"_s;
    for (; !rs->isEOF(); rs->moveNext())
        reply += field(rs->value(u"numero_tavolo"_s)) + u';';
    return reply + Cr;
}
