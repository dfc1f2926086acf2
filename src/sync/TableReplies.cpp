// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableReplies.h"

#include "BusinessDay.h"
#include "OrderRecords.h"
#include "SyncText.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

using namespace Qt::StringLiterals;
using synctext::Cr;
using synctext::field;

QString TableReplies::sincroTavoli()
{
    auto rs = m_db.openDynaset(u"SELECT * FROM tavoli"_s);
    if (!rs)
        return {};
    QString reply = u"SincroTavoli|"_s;
    for (; !rs->isEOF(); rs->moveNext())
        reply += field(rs->value(u"id_tavolo"_s)) + u'|' + field(rs->value(u"numero_tavolo"_s)) + u'|'
            + field(rs->value(u"coperti"_s)) + u';';
    return reply + Cr;
}

QStringList TableReplies::sincroTavolo(const QString &tavoloRichiesto, qint32 operatore, int index)
{
    // The replies give the table back as the handheld wrote it, without the blanks and line ends
    // around it: a carriage return echoed into a reply would end the reply's line early.
    const QString tavolo = tavoloRichiesto.trimmed();
    // The table goes into the statements: only a whole number may, so that no request can carry
    // SQL of its own. Anything else is refused without a reply, as a request that cannot be read.
    qint64 number = 0;
    if (!tipi::parseWhole(tavolo, &number)) {
        qCWarning(lcSync).noquote() << "SincroTavolo rifiutato: numero di tavolo non valido" << tavolo
                                    << "(slot" << index << ")";
        return {};
    }
    const QString numero = QString::number(number);

    const auto w = BusinessDay::window(m_db, BusinessDay::Rule::ShiftBeforeOpening);
    auto rs = m_db.openDynaset(u"SELECT * FROM comande, tavoli_occupati WHERE comande.id_comanda = "
                               "tavoli_occupati.id_comanda AND inizio BETWEEN "_s
                               + tipi::sqlNumber(w.start) + u" AND "_s + tipi::sqlNumber(w.end)
                               + u" AND stato = 0 AND numero_tavolo = "_s + numero);
    if (!rs)
        return {};
    if (rs->isEOF()) {
        const QString state = statoPrenotazione(tavolo, numero);
        return state.isNull() ? QStringList() : QStringList{state};
    }
    // One reply per open order on the table: two orders on one table give two replies. A query
    // that fails ends the procedure; the replies built before it still go out.
    QStringList replies;
    for (; !rs->isEOF(); rs->moveNext()) {
        if (tipi::toLong(rs->value(u"id_operatore"_s)) == operatore) {
            QString reply;
            if (!dettaglioComanda(tipi::toLong(rs->value(u"comande.id_comanda"_s)), &reply))
                break;
            replies.append(reply);
        } else {
            replies.append(u"ALTRO|"_s + tavolo + Cr);
        }
    }
    return replies;
}

bool TableReplies::dettaglioComanda(qint32 orderKey, QString *reply)
{
    OrderRecords records(m_db);
    *reply = u"COMANDA|"_s;
    auto head = m_db.openDynaset(u"SELECT inizio, ultima_ordinazione, coperti, data, pre_conto FROM comande "
                                 "WHERE id_comanda = "_s
                                 + QString::number(orderKey));
    if (!head)
        return false;
    if (!head->isEOF()) {
        QString tables;
        if (!records.tableList(orderKey, &tables))
            return false;
        *reply += u"C|"_s + OrderRecords::header(*head, tables);
    }
    if (!records.lines(orderKey, reply))
        return false;
    *reply += Cr;
    return true;
}

QString TableReplies::statoPrenotazione(const QString &tavolo, const QString &numero)
{
    const qint32 warningMinutes = m_db.ReadLong(u"minuti_avviso_prenotazione"_s, 60);
    const double now = synctext::momentoAlMinuto();
    const double from = now - double(warningMinutes) * 60.0;
    const double to = now + 3600.0;
    auto rs = m_db.openDynaset(u"SELECT data_ora FROM tavoli_prenotati, prenotazioni WHERE "_s + tipi::sqlNumber(from)
                               + u" <= data_ora AND data_ora<= "_s + tipi::sqlNumber(to)
                               + u" AND tavoli_prenotati.id_prenotazione = prenotazioni.id_prenotazione AND "
                                 "numero_tavolo = "_s
                               + numero);
    if (!rs)
        return {};
    if (rs->isEOF())
        return u"LIBERO|"_s + tavolo + Cr;
    return u"PRENOTA|"_s + tavolo + u'|' + synctext::oraDelGiorno(tipi::toDouble(rs->value(u"data_ora"_s))) + Cr;
}
