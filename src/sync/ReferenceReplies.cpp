// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReferenceReplies.h"

#include "SyncText.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

using namespace Qt::StringLiterals;
using synctext::Cr;
using synctext::field;

QString ReferenceReplies::sincroPrenotati()
{
    // From the warning time before now (to the minute) to one hour after it.
    const double warning = double(m_db.ReadLong(u"minuti_avviso_prenotazione"_s, 60)) * 60.0;
    const double now = synctext::momentoAlMinuto();
    auto rs = m_db.openDynaset(u"SELECT data_ora, numero_tavolo FROM tavoli_prenotati, prenotazioni WHERE "_s
                               + tipi::sqlNumber(now - warning) + u" <= data_ora AND data_ora<= "_s
                               + tipi::sqlNumber(now + 3600.0)
                               + u" AND tavoli_prenotati.id_prenotazione = prenotazioni.id_prenotazione "_s);
    if (!rs)
        return {};
    QString reply = u"SincroPrenotati|"_s;
    for (; !rs->isEOF(); rs->moveNext())
        reply += field(rs->value(u"numero_tavolo"_s)) + u'|'
            + synctext::oraDelGiorno(tipi::toDouble(rs->value(u"data_ora"_s))) + u';';
    return reply + Cr;
}

QString ReferenceReplies::sincroVariazioni()
{
    auto variations = m_db.openTable(u"variazioni_comande"_s);
    if (!variations)
        return {};
    auto links = m_db.openDynaset(u"SELECT * FROM variazioni_comande_categorie"_s);
    if (!links)
        return {};
    QString reply = u"SincroVariazioni|"_s;
    for (; !variations->isEOF(); variations->moveNext())
        reply += u"V|"_s + field(variations->value(u"id_variazione"_s)) + u'|'
            + field(variations->value(u"descrizione"_s)) + u'|'
            + field(variations->value(u"prezzo"_s)) + u';';
    for (; !links->isEOF(); links->moveNext())
        reply += u"C|"_s + field(links->value(u"id_tipo_merce"_s)) + u'|' + field(links->value(u"id_variazione"_s))
            + u';';
    return reply + Cr;
}

QString ReferenceReplies::sincroVariabili()
{
    auto longs = m_db.openDynaset(u"SELECT name, value FROM var_long WHERE name IN "
                                  "('minuti_avviso_prenotazione','tipologia_coperto' )"_s);
    if (!longs)
        return {};
    auto texts = m_db.openDynaset(u"SELECT name, value FROM var_str WHERE name IN('coperto_somma',"
                                  "'coperto_percentuale', 'ora_apertura_attivita', 'ora_chiusura_attivita')"_s);
    if (!texts)
        return {};
    QString reply = u"SincroVariabili|"_s;
    for (; !longs->isEOF(); longs->moveNext())
        reply += u"L|"_s + field(longs->value(u"name"_s)) + u'|' + field(longs->value(u"value"_s)) + u';';
    for (; !texts->isEOF(); texts->moveNext())
        reply += u"S|"_s + field(texts->value(u"name"_s)) + u'|' + field(texts->value(u"value"_s)) + u';';
    return reply + Cr;
}

QString ReferenceReplies::sincroOperatori()
{
    auto rs = m_db.openDynaset(u"SELECT codice, nickname FROM clfn WHERE operatore  AND NOT cancellato"_s);
    if (!rs)
        return {};
    QString reply = u"SincroOperatori|"_s;
    for (; !rs->isEOF(); rs->moveNext())
        reply += field(rs->value(u"codice"_s)) + u'|' + field(rs->value(u"nickname"_s)) + u';';
    return reply + Cr;
}
