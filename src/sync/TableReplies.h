// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class clsDatabase;

// The table plan ("SincroTavoli") and the state of one table ("SincroTavolo"): the asking
// waiter's open order in detail, another waiter's order, a reservation close at hand, or free.
// The builders return the reply texts; a null text (an empty list) means no reply.
class TableReplies
{
public:
    explicit TableReplies(clsDatabase &db) : m_db(db) {}

    QString sincroTavoli();
    // One reply per open order found on the table, or the table's reservation state. `tavolo` is
    // the table number as the handheld sent it; only a whole number is accepted. `index` is the
    // slot, for the log.
    QStringList sincroTavolo(const QString &tavolo, qint32 operatore, int index);

private:
    bool dettaglioComanda(qint32 orderKey, QString *reply);
    QString statoPrenotazione(const QString &tavolo, const QString &numero);

    clsDatabase &m_db;
};
