// SPDX-License-Identifier: GPL-3.0-or-later
#include "OrderText.h"

#include "Currency.h"
#include "modGestioneTipiDato.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// A quantity or price as a dish can have it: a finite number within the bounds of a line. An empty
// field reads as 0 where allowed (a handheld leaves a free item's price blank).
bool valoreRiga(QStringView field, bool vuotoZero, double *out)
{
    if (field.trimmed().isEmpty()) {
        *out = 0;
        return vuotoZero;
    }
    return tipi::parseNumber(field, out) && std::abs(*out) <= OrderText::MaxValoreRiga;
}

// The pieces between separators, empty ones kept, as QStringView::split gives them, into `out`
// (emptied first): a container that keeps its room from record to record allocates nothing per
// record.
template <typename Out>
void dividi(QStringView text, QChar separatore, Out &out)
{
    out.clear();
    for (QStringView pezzo : text.tokenize(separatore))
        out.append(pezzo);
}

QString citato(QStringView field)
{
    return u" '"_s + field.left(40).toString() + u'\'';
}

// A whole number as the tolerant conversions read one: rounded half to even, 0 when the text is
// no number or the number does not fit.
qint64 intero(QStringView field, double lo, double hi)
{
    double d = 0;
    if (!tipi::parseNumber(field, &d))
        return 0;
    const double r = std::nearbyint(d);
    return r < lo || r > hi ? 0 : qint64(r);
}
qint32 interoLungo(QStringView field)
{
    return qint32(intero(field, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}
qint16 interoCorto(QStringView field)
{
    return qint16(intero(field, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()));
}

} // namespace

namespace intestazione {

bool momento(QStringView field, double *out, QString *error)
{
    // 31 December 9999, the last day a moment of the back office can name.
    constexpr double UltimoMomento = 2958466.0 * 86400;
    double v = 0;
    if (!tipi::parseNumber(field, &v) || !(v > 0) || v >= UltimoMomento) {
        *error = u"momento di apertura non valido:"_s + citato(field);
        return false;
    }
    // Read as before (a currency amount, four decimals) so that the order is found again by it.
    *out = tipi::currencyToDouble(field.toString());
    return true;
}

bool tavolo(QStringView field, qint64 *out, QString *error)
{
    if (!tipi::parseWhole(field, out) || *out < 0) {
        *error = u"numero di tavolo non valido:"_s + citato(field);
        return false;
    }
    return true;
}

bool coperti(QStringView field, qint16 *out, QString *error)
{
    qint64 v = 0;
    if (!field.trimmed().isEmpty() && (!tipi::parseWhole(field, &v) || v < 0 || v > OrderText::MaxCoperti)) {
        *error = u"coperti non validi:"_s + citato(field);
        return false;
    }
    *out = qint16(v);
    return true;
}

bool operatore(QStringView field, qint32 *out, QString *error)
{
    qint64 v = 0;
    if (!tipi::parseWhole(field, &v) || v < 0) {
        *error = u"codice operatore non valido:"_s + citato(field);
        return false;
    }
    *out = qint32(v);
    return true;
}

bool importo(const QString &name, QStringView field, double *out, QString *error)
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
    // The last piece follows the final ";" and is not a record: an order text without its final
    // ";" loses its last record, as the handhelds have always relied on. Counted before the text is
    // split, so that a request of a million separators is refused without a list of a million.
    const qsizetype pezzi = text.count(u';') + 1;
    if (pezzi < 2) {
        *error = u"testo della comanda senza intestazione completa"_s;
        return false;
    }
    if (pezzi - 2 > MaxRecord) {
        *error = u"%1 righe e variazioni in una comanda (al massimo %2)"_s.arg(pezzi - 2).arg(MaxRecord);
        return false;
    }
    // Views into the text: only what is kept (tables, descriptions) is copied out of it.
    QList<QStringView> records;
    records.reserve(pezzi);
    dividi(QStringView(text), u';', records);
    QVarLengthArray<QStringView, 16> header;
    dividi(records[0], u'|', header);
    if (header.size() < 6) {
        *error = u"intestazione con %1 campi invece di 6"_s.arg(header.size());
        return false;
    }
    OrderText o;
    if (!intestazione::momento(header[0], &o.inizio, error))
        return false;
    QVarLengthArray<QStringView, 16> tavoli;
    dividi(header[1], u',', tavoli);
    if (tavoli.size() > MaxTavoli) {
        *error = u"%1 tavoli in una comanda (al massimo %2)"_s.arg(tavoli.size()).arg(MaxTavoli);
        return false;
    }
    for (QStringView t : tavoli) {
        qint64 n = 0;
        if (!intestazione::tavolo(t, &n, error))
            return false;
        o.tavoli.append(t.trimmed().toString());
    }
    if (!intestazione::coperti(header[2], &o.coperti, error) || !intestazione::operatore(header[3], &o.operatore, error)
        || !intestazione::importo(u"costo dei coperti"_s, header[4], &o.costoCoperti, error)
        || !intestazione::importo(u"totale"_s, header[5], &o.totaleConCoperti, error))
        return false;

    o.records.reserve(records.size() - 2);
    QVarLengthArray<QStringView, 16> f;
    for (qsizetype r = 1; r + 1 < records.size(); ++r) {
        dividi(records[r], u'|', f);
        const QChar kind = f[0].isEmpty() ? QChar() : f[0].front();
        if (kind == u'M') {
            if (f.size() < 8) {
                *error = u"riga %1 con %2 campi invece di 8"_s.arg(r).arg(f.size());
                return false;
            }
            Record rec{Record::LineRecord, {}, {}};
            rec.line.articolo = interoLungo(f[1]);
            double quantita = 0;
            double prezzo = 0;
            double stampata = 0;
            if (!valoreRiga(f[2], false, &quantita))
                rec.line.scarto = u"quantità non valida: '"_s + f[2].left(40).toString() + u'\'';
            else if (!valoreRiga(f[3], true, &prezzo))
                rec.line.scarto = u"prezzo non valido: '"_s + f[3].left(40).toString() + u'\'';
            // What was printed lies between nothing and the whole quantity (a void's is negative).
            else if (!valoreRiga(f[7], true, &stampata) || stampata < std::min(0.0, quantita)
                     || stampata > std::max(0.0, quantita))
                rec.line.scarto = u"quantità stampata non valida: '"_s + f[7].left(40).toString() + u'\'';
            rec.line.quantita = Currency::fromDouble(quantita).toDouble();
            rec.line.prezzo = Currency::fromDouble(prezzo).toDouble();
            rec.line.turno = interoCorto(f[4]);
            rec.line.descrizione = f[5].toString();
            rec.line.giaStampata = interoLungo(f[6]);
            rec.line.qtaStampata = tipi::toLong(stampata);
            o.records.append(std::move(rec));
        } else if (kind == u'V') {
            if (f.size() < 3) {
                *error = u"variazione %1 con %2 campi invece di 3"_s.arg(r).arg(f.size());
                return false;
            }
            Record rec{Record::VariationRecord, {}, {}};
            rec.variation.variazione = interoLungo(f[1]);
            rec.variation.quantita = interoCorto(f[2]);
            o.records.append(std::move(rec));
        }
        // Any other record is skipped.
    }
    *out = std::move(o);
    return true;
}
