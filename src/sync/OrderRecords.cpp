// SPDX-License-Identifier: GPL-3.0-or-later
#include "OrderRecords.h"

#include "SyncText.h"
#include "clsDatabase.h"

using namespace Qt::StringLiterals;
using synctext::field;

bool OrderRecords::tableList(qint32 orderKey, QString *out)
{
    auto rs = m_db.openDynaset(u"SELECT numero_tavolo FROM tavoli_occupati WHERE id_comanda = "_s
                               + QString::number(orderKey));
    if (!rs)
        return false;
    QString list;
    for (; !rs->isEOF(); rs->moveNext())
        list += field(rs->value(u"numero_tavolo"_s)) + u',';
    list.chop(1);
    *out = list;
    return true;
}

QString OrderRecords::header(Recordset &row, const QString &tables)
{
    return field(row.value(u"inizio"_s)) + u'|' + field(row.value(u"ultima_ordinazione"_s)) + u'|' + tables + u'|'
        + field(row.value(u"coperti"_s)) + u'|' + synctext::day(row.value(u"data"_s)) + u'|'
        + synctext::flag(row.value(u"pre_conto"_s)) + u';';
}

bool OrderRecords::lines(qint32 orderKey, QString *out)
{
    auto lines = m_db.openDynaset(u"SELECT id_merce_comanda, id_articolo, quantita,  turno FROM merce_comande "
                                  "WHERE id_comanda = "_s
                                  + QString::number(orderKey));
    if (!lines)
        return false;
    enum { Riga, Articolo, Quantita, Turno };
    const QList<int> col =
        synctext::columns(*lines, {u"id_merce_comanda"_s, u"id_articolo"_s, u"quantita"_s, u"turno"_s});
    for (; !lines->isEOF(); lines->moveNext()) {
        *out += u"M|"_s + field(lines->value(col[Articolo])) + u'|' + field(lines->value(col[Quantita])) + u'|'
            + field(lines->value(col[Turno])) + u';';
        auto variations = m_db.openDynaset(
            u"SELECT id_variazione, quantita FROM merce_comande_variazioni WHERE id_merce_comanda = "_s
            + synctext::whole(lines->value(col[Riga])));
        if (!variations)
            return false;
        for (; !variations->isEOF(); variations->moveNext())
            *out += u"V|"_s + field(variations->value(0)) + u'|' + field(variations->value(1)) + u';';
    }
    return true;
}
