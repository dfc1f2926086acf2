// SPDX-License-Identifier: GPL-3.0-or-later
#include "modPlikoServer.h"

#include "ErrorRoutine.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
// The value of `name` in a settings table (var_long or var_str), sought through name_idx.
QVariant settingValue(clsDatabase &db, const QString &table, const QString &name, bool *found)
{
    *found = false;
    auto rs = db.openTable(table);
    if (!rs || !rs->setIndex(u"name_idx"_s) || !rs->seek(u"="_s, name) || rs->noMatch())
        return {};
    *found = true;
    return rs->value(u"value"_s);
}

bool writeSetting(clsDatabase &db, const QString &table, const QString &name, const QVariant &value)
{
    auto rs = db.openTable(table);
    if (!rs || !rs->setIndex(u"name_idx"_s) || !rs->seek(u"="_s, name)) {
        diagnostics::reportFault(u"modPlikoServer::scrivi"_s, u"Impossibile scrivere l'impostazione, "_s + name);
        return false;
    }
    const bool added = rs->noMatch();
    if (!(added ? rs->addNew() : rs->edit())) {
        diagnostics::reportFault(u"modPlikoServer::scrivi"_s, rs->lastError() + u", "_s + name);
        return false;
    }
    if (added)
        rs->setValue(u"name"_s, name);
    rs->setValue(u"value"_s, value);
    if (!rs->update()) {
        diagnostics::reportFault(u"modPlikoServer::scrivi"_s, rs->lastError() + u", "_s + name);
        return false;
    }
    return true;
}
} // namespace

qint32 modPlikoServer::leggiVarLong(const QString &name, qint32 defaultValue) const
{
    bool found = false;
    const QVariant v = settingValue(m_db, u"var_long"_s, name, &found);
    return found ? tipi::toLong(v) : defaultValue;
}

QString modPlikoServer::leggiVarStr(const QString &name, const QString &defaultValue) const
{
    bool found = false;
    const QVariant v = settingValue(m_db, u"var_str"_s, name, &found);
    return found ? tipi::toText(v) : defaultValue;
}

bool modPlikoServer::scriviVarLong(const QString &name, qint32 value) const
{
    return writeSetting(m_db, u"var_long"_s, name, value);
}

bool modPlikoServer::scriviVarStr(const QString &name, const QString &value) const
{
    return writeSetting(m_db, u"var_str"_s, name, value);
}

// Both are looked up by the table's key, which holds one row at most.
double modPlikoServer::aliquotaIva(qint32 code) const
{
    auto rs = m_db.openDynaset(u"SELECT aliquota FROM iva WHERE codice = "_s + QString::number(code));
    return rs && !rs->isEOF() ? tipi::toDouble(rs->value(u"aliquota"_s)) : 0;
}

QString modPlikoServer::nomeUnitaMisura(qint32 key) const
{
    auto rs = m_db.openDynaset(u"SELECT nome FROM unita_misura WHERE id = "_s + QString::number(key));
    return rs && !rs->isEOF() ? tipi::toText(rs->value(u"nome"_s)) : QString();
}

QString modPlikoServer::elencoTavoliComanda(qint32 orderKey) const
{
    auto rs = m_db.openDynaset(u"SELECT numero_tavolo FROM tavoli_occupati WHERE id_comanda = "_s
                               + QString::number(orderKey));
    QString list;
    if (rs)
        for (; !rs->isEOF(); rs->moveNext())
            list += u", "_s + tipi::toText(rs->value(u"numero_tavolo"_s));
    return list.isEmpty() ? u"Nessun tavolo"_s : list.mid(1);
}

QString modPlikoServer::nomeOperatore(qint32 key, bool byOrder) const
{
    const QString sql = byOrder
        ? QString(u" SELECT nome, cognome, nickname "_s
                  + u" FROM clfn LEFT JOIN comande ON clfn.codice = comande.id_operatore "_s + u" WHERE id_comanda = "_s
                  + QString::number(key))
        : QString(u"SELECT nome, cognome, nickname FROM clfn WHERE codice = "_s + QString::number(key));
    auto rs = m_db.openDynaset(sql);
    if (!rs || rs->isEOF())
        return {};
    return tipi::toText(rs->value(u"nickname"_s));
}

bool modPlikoServer::operatoreEsiste(qint32 codice, QString *error) const
{
    auto rs = m_db.openDynaset(u"SELECT codice FROM clfn WHERE codice = "_s + QString::number(codice) + u" AND operatore"_s);
    if (!rs)
        *error = u"operatore non cercato: "_s + m_db.lastErrorText();
    else if (rs->isEOF())
        *error = u"operatore %1 inesistente"_s.arg(codice);
    return rs && !rs->isEOF();
}

Currency modPlikoServer::costoCoperti(qint32 orderKey) const
{
    Currency result;
    const qint32 type = leggiVarLong(u"tipologia_coperto"_s, 0);
    const Currency perCover = Currency::fromDouble(tipi::toDouble(leggiVarStr(u"coperto_somma"_s, {})));
    const double percentage = tipi::currencyToDouble(leggiVarStr(u"coperto_percentuale"_s, {}));
    if (type == 1) {
        auto rs = m_db.openDynaset(u"SELECT coperti, costo_coperti FROM comande WHERE id_comanda = "_s
                                   + QString::number(orderKey));
        if (rs && !rs->isEOF())
            result = perCover * double(tipi::toLong(rs->value(u"coperti"_s)));
    } else if (type == 2) {
        auto rs = m_db.openDynaset(u"SELECT totale FROM merce_comande WHERE id_comanda = "_s
                                   + QString::number(orderKey));
        if (rs)
            for (; !rs->isEOF(); rs->moveNext())
                result += calcolaPercentuale(tipi::toCurrency(rs->value(u"totale"_s)), percentage);
    }
    return result;
}

Currency modPlikoServer::calcolaPercentuale(Currency amount, double percentage)
{
    if (percentage == 0)
        return {};
    const Currency share = Currency::fromDouble(amount.toDouble() * percentage / 100.0);
    const int d = regional().decimals;
    const QString pattern = d <= 0 ? u"0"_s : u"0."_s + QString(d, u'0');
    return tipi::toCurrency(tipi::formatta(share.toDouble(), pattern));
}

Currency modPlikoServer::prezzoIvato(Currency amount, double rate, int &decimals)
{
    if (decimals == 0)
        decimals = regional().decimals;
    const double scale = std::pow(10.0, decimals);
    const double gross = amount.toDouble() * (1 + rate / 100.0);
    // Ties go to the even neighbour, as the platform's rounding function; the 15-digit form keeps
    // 12.2 from being read as 12.200000000000001.
    const double clean = QString::number(gross * scale, 'g', 15).toDouble();
    return Currency::fromDouble(std::nearbyint(clean) / scale);
}

double modPlikoServer::momentoAttuale()
{
    const QDateTime now = tipi::now();
    return double(tipi::dayNumber(now.date())) * 86400.0 + std::nearbyint(now.time().msecsSinceStartOfDay() / 1000.0);
}

double modPlikoServer::momentoDaOrario(const QVariant &day, const QString &time, const QString &separator)
{
    QDate d = day.typeId() == QMetaType::QDate ? day.toDate()
        : day.typeId() == QMetaType::QDateTime ? day.toDateTime().date()
                                               : QDate();
    if (!d.isValid())
        d = tipi::today();
    const QStringList parts = time.split(separator);
    const qint32 hours = tipi::toLong(parts.value(0));
    const qint32 minutes = tipi::toLong(parts.value(1));
    return double(tipi::dayNumber(d)) * 86400.0 + hours * 3600.0 + minutes * 60.0;
}

QString modPlikoServer::formattaMomento(double moment, QString *dateText, QString *timeText, const QString &dateFormat,
                                        const QString &timeFormat)
{
    const QDateTime dt = tipi::dateTimeOfMoment(moment);
    const QString d = dt.date().toString(dateFormat);
    const QString t = dt.time().toString(timeFormat);
    if (dateText)
        *dateText = d;
    if (timeText)
        *timeText = t;
    return d + u' ' + t;
}

QString modPlikoServer::rigaVariazione(const QString &text)
{
    return u"      + "_s + text;
}
