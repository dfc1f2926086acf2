// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class clsDatabase;

// What a handheld fetches when its waiter starts a shift: the waiter's open orders of the business
// day in full ("SincroComande"), and the tables that other waiters hold ("SincroTavoliUsati").
// The builders return the reply text, or a null text when a query could not be opened.
class OrderReplies
{
public:
    explicit OrderReplies(clsDatabase &db) : m_db(db) {}

    QString sincroComande(qint32 operatore);
    QString sincroTavoliAltriOperatori(qint32 operatore);

private:
    clsDatabase &m_db;
};
