// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QtGlobal>

class OrderPrinting;
class OperatorUi;
class clsDatabase;
class modPlikoServer;

// At start-up, the kitchen tickets that a stop between an order's reply and its print left owed:
// open orders with lines still to print whose last round was taken within the last minutes are
// printed again, each ticket marked as a reprint.
class TicketRecovery
{
public:
    TicketRecovery(clsDatabase &db, modPlikoServer &helpers, OrderPrinting &printing, OperatorUi *ui)
        : m_db(db), m_helpers(helpers), m_printing(printing), m_ui(ui)
    {
    }

    // The orders owed a ticket whose last round (or opening) is at or after `dalMomento`.
    QList<qint32> comandeDaStampare(double dalMomento);
    // Prints them (the database must be open); returns how many orders were printed again.
    int ristampa(qint32 minuti);

private:
    clsDatabase &m_db;
    modPlikoServer &m_helpers;
    OrderPrinting &m_printing;
    OperatorUi *m_ui;
};
