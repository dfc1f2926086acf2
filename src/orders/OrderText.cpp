// SPDX-License-Identifier: GPL-3.0-or-later
#include "OrderText.h"

#include "modGestioneTipiDato.h"

using namespace Qt::StringLiterals;

bool OrderText::parse(const QString &text, OrderText *out, QString *error)
{
    const QStringList records = text.split(u';');
    // The last piece follows the final ";" and is not a record: an order text without its final
    // ";" loses its last record, as the handhelds have always relied on.
    if (records.size() < 2) {
        *error = u"testo della comanda senza intestazione completa"_s;
        return false;
    }
    const QStringList header = records[0].split(u'|');
    if (header.size() < 6) {
        *error = u"intestazione con %1 campi invece di 6"_s.arg(header.size());
        return false;
    }
    OrderText o;
    o.inizio = tipi::currencyToDouble(header[0]);
    for (const QString &t : header[1].split(u',')) {
        qint64 n = 0;
        if (!tipi::parseWhole(t, &n)) {
            *error = u"numero di tavolo non valido: '"_s + t + u'\'';
            return false;
        }
        o.tavoli.append(t.trimmed());
    }
    o.coperti = tipi::toInt16(header[2]);
    o.operatore = tipi::toLong(header[3]);
    o.costoCoperti = tipi::currencyToDouble(header[4]);
    o.totaleConCoperti = tipi::currencyToDouble(header[5]);

    for (qsizetype r = 1; r + 1 < records.size(); ++r) {
        const QStringList f = records[r].split(u'|');
        const QString kind = f[0].left(1);
        if (kind == u"M"_s) {
            if (f.size() < 8) {
                *error = u"riga %1 con %2 campi invece di 8"_s.arg(r).arg(f.size());
                return false;
            }
            Record rec{Record::LineRecord, {}, {}};
            rec.line.articolo = tipi::toLong(f[1]);
            rec.line.quantita = tipi::currencyToDouble(f[2]);
            rec.line.prezzo = tipi::currencyToDouble(f[3]);
            rec.line.turno = tipi::toInt16(f[4]);
            rec.line.descrizione = f[5];
            rec.line.giaStampata = tipi::toLong(f[6]);
            rec.line.qtaStampata = tipi::toLong(f[7]);
            o.records.append(rec);
        } else if (kind == u"V"_s) {
            if (f.size() < 3) {
                *error = u"variazione %1 con %2 campi invece di 3"_s.arg(r).arg(f.size());
                return false;
            }
            Record rec{Record::VariationRecord, {}, {}};
            rec.variation.variazione = tipi::toLong(f[1]);
            rec.variation.quantita = tipi::toInt16(f[2]);
            o.records.append(rec);
        }
        // Any other record is skipped.
    }
    *out = std::move(o);
    return true;
}
