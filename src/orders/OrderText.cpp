// SPDX-License-Identifier: GPL-3.0-or-later
#include "OrderText.h"

#include "Currency.h"
#include "modGestioneTipiDato.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// A quantity or price as a dish can have it: a finite number within the bounds of a line. An empty
// field reads as 0 where allowed (a handheld leaves a free item's price blank).
bool valoreRiga(const QString &field, bool vuotoZero, double *out)
{
    if (field.trimmed().isEmpty()) {
        *out = 0;
        return vuotoZero;
    }
    return tipi::parseNumber(field, out) && std::abs(*out) <= OrderText::MaxValoreRiga;
}

QString citato(const QString &field)
{
    return u" '"_s + field.left(40) + u'\'';
}

} // namespace

namespace intestazione {

bool momento(const QString &field, double *out, QString *error)
{
    // 31 December 9999, the last day a moment of the back office can name.
    constexpr double UltimoMomento = 2958466.0 * 86400;
    double v = 0;
    if (!tipi::parseNumber(field, &v) || !(v > 0) || v >= UltimoMomento) {
        *error = u"momento di apertura non valido:"_s + citato(field);
        return false;
    }
    // Read as before (a currency amount, four decimals) so that the order is found again by it.
    *out = tipi::currencyToDouble(field);
    return true;
}

bool tavolo(const QString &field, qint64 *out, QString *error)
{
    if (!tipi::parseWhole(field, out) || *out < 0) {
        *error = u"numero di tavolo non valido:"_s + citato(field);
        return false;
    }
    return true;
}

bool coperti(const QString &field, qint16 *out, QString *error)
{
    qint64 v = 0;
    if (!field.trimmed().isEmpty() && (!tipi::parseWhole(field, &v) || v < 0 || v > OrderText::MaxCoperti)) {
        *error = u"coperti non validi:"_s + citato(field);
        return false;
    }
    *out = qint16(v);
    return true;
}

bool operatore(const QString &field, qint32 *out, QString *error)
{
    qint64 v = 0;
    if (!tipi::parseWhole(field, &v) || v < 0) {
        *error = u"codice operatore non valido:"_s + citato(field);
        return false;
    }
    *out = qint32(v);
    return true;
}

bool importo(const QString &name, const QString &field, double *out, QString *error)
{
    if (!valoreRiga(field, true, out)) {
        *error = name + u" non valido:"_s + citato(field);
        return false;
    }
    *out = Currency::fromDouble(*out).toDouble();
    return true;
}

} // namespace intestazione

bool OrderText::parse(const QString &text, OrderText *out, QString *error)
{
    const QStringList records = text.split(u';');
    // The last piece follows the final ";" and is not a record: an order text without its final
    // ";" loses its last record, as the handhelds have always relied on.
    if (records.size() < 2) {
        *error = u"testo della comanda senza intestazione completa"_s;
        return false;
    }
    if (records.size() - 2 > MaxRecord) {
        *error = u"%1 righe e variazioni in una comanda (al massimo %2)"_s.arg(records.size() - 2).arg(MaxRecord);
        return false;
    }
    const QStringList header = records[0].split(u'|');
    if (header.size() < 6) {
        *error = u"intestazione con %1 campi invece di 6"_s.arg(header.size());
        return false;
    }
    OrderText o;
    if (!intestazione::momento(header[0], &o.inizio, error))
        return false;
    const QStringList tavoli = header[1].split(u',');
    if (tavoli.size() > MaxTavoli) {
        *error = u"%1 tavoli in una comanda (al massimo %2)"_s.arg(tavoli.size()).arg(MaxTavoli);
        return false;
    }
    for (const QString &t : tavoli) {
        qint64 n = 0;
        if (!intestazione::tavolo(t, &n, error))
            return false;
        o.tavoli.append(t.trimmed());
    }
    if (!intestazione::coperti(header[2], &o.coperti, error) || !intestazione::operatore(header[3], &o.operatore, error)
        || !intestazione::importo(u"costo dei coperti"_s, header[4], &o.costoCoperti, error)
        || !intestazione::importo(u"totale"_s, header[5], &o.totaleConCoperti, error))
        return false;

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
            double quantita = 0;
            double prezzo = 0;
            double stampata = 0;
            if (!valoreRiga(f[2], false, &quantita))
                rec.line.scarto = u"quantità non valida: '"_s + f[2].left(40) + u'\'';
            else if (!valoreRiga(f[3], true, &prezzo))
                rec.line.scarto = u"prezzo non valido: '"_s + f[3].left(40) + u'\'';
            // What was printed lies between nothing and the whole quantity (a void's is negative).
            else if (!valoreRiga(f[7], true, &stampata) || stampata < std::min(0.0, quantita)
                     || stampata > std::max(0.0, quantita))
                rec.line.scarto = u"quantità stampata non valida: '"_s + f[7].left(40) + u'\'';
            rec.line.quantita = Currency::fromDouble(quantita).toDouble();
            rec.line.prezzo = Currency::fromDouble(prezzo).toDouble();
            rec.line.turno = tipi::toInt16(f[4]);
            rec.line.descrizione = f[5];
            rec.line.giaStampata = tipi::toLong(f[6]);
            rec.line.qtaStampata = tipi::toLong(stampata);
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
