// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Currency.h"

#include <QString>
#include <QVariant>

class clsDatabase;

// The small functions many handlers share: named settings, VAT rates, unit and waiter names, the
// table list of an order, cover charge and percentage rules, prices with VAT and moments.
// Missing rows give the stated defaults; nothing here fails because of data.
class modPlikoServer
{
public:
    explicit modPlikoServer(clsDatabase &db) : m_db(db) {}

    qint32 leggiVarLong(const QString &name, qint32 defaultValue) const;
    QString leggiVarStr(const QString &name, const QString &defaultValue) const;
    bool scriviVarLong(const QString &name, qint32 value) const;
    bool scriviVarStr(const QString &name, const QString &value) const;

    double aliquotaIva(qint32 code) const;
    QString nomeUnitaMisura(qint32 key) const;
    // " 5, 6" for tables 5 and 6 (a blank first), "Nessun tavolo" when the order has none.
    QString elencoTavoliComanda(qint32 orderKey) const;
    QString nomeOperatore(qint32 key, bool byOrder) const;
    // True when the code is a waiter's (a `clfn` row marked as operator, cancelled or not: a waiter
    // removed mid-service still has orders on the floor). False with *error when it is not, or when
    // the database could not say.
    bool operatoreEsiste(qint32 codice, QString *error) const;
    Currency costoCoperti(qint32 orderKey) const;

    static Currency calcolaPercentuale(Currency amount, double percentage);
    // decimals 0 means the configured number; it is stored back into the argument.
    static Currency prezzoIvato(Currency amount, double rate, int &decimals);
    static Currency prezzoIvato(Currency amount, double rate) { int d = 0; return prezzoIvato(amount, rate, d); }

    static double momentoAttuale();
    static double momentoDaOrario(const QVariant &day, const QString &time, const QString &separator);
    static QString formattaMomento(double moment, QString *dateText, QString *timeText, const QString &dateFormat,
                                   const QString &timeFormat);
    static QString rigaVariazione(const QString &text);

private:
    clsDatabase &m_db;
};
