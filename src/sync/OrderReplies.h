// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

class clsDatabase;
class HandheldLink;

// What a handheld fetches when its waiter starts a shift: the waiter's open orders of the business
// day in full ("SincroComande"), and the tables that other waiters hold ("SincroTavoliUsati").
class OrderReplies
{
public:
    OrderReplies(clsDatabase &db, HandheldLink &link) : m_db(db), m_link(link) {}

    void sincroComande(qint32 operatore, int index);
    void sincroTavoliAltriOperatori(qint32 operatore, int index);

private:
    clsDatabase &m_db;
    HandheldLink &m_link;
};
