// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class clsDatabase;
class HandheldLink;

// The table plan ("SincroTavoli") and the state of one table ("SincroTavolo"): the asking
// waiter's open order in detail, another waiter's order, a reservation close at hand, or free.
class TableReplies
{
public:
    TableReplies(clsDatabase &db, HandheldLink &link) : m_db(db), m_link(link) {}

    void sincroTavoli(int index);
    // `tavolo` is the table number as the handheld sent it; only a whole number is accepted.
    void sincroTavolo(int index, const QString &tavolo, qint32 operatore);

private:
    bool dettaglioComanda(qint32 orderKey, QString *reply);
    void statoPrenotazione(int index, const QString &tavolo, const QString &numero);

    clsDatabase &m_db;
    HandheldLink &m_link;
};
