// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class clsDatabase;
class modPlikoServer;
class HandheldLink;
class OrderPrinting;

// The handheld requests that occupy tables and ask for prints: "OccupaTavolo", "Preconto",
// "ListaOrdini", and the kitchen notes "NotaLibera" and "NotaTavolo". Each replies first; what
// prints does so after the handheld's connection has closed.
class PrintRequests
{
public:
    PrintRequests(clsDatabase &db, modPlikoServer &helpers, HandheldLink &link, OrderPrinting &printing);

    // `tail` is the request from the command word on. Returns false when it was rejected.
    bool occupaTavolo(const QString &tail, int index);
    void stampaPreConto(qint16 tavolo, int index);
    void stampaListaOrdinazioni(qint16 tavolo, int index);
    // `rest` holds operator (or table), message and zone; fewer than three gets no reply.
    bool notaLibera(const QString &rest, int index);
    bool notaTavolo(const QString &rest, int index);

private:
    // The open order of a table: its key, -1 when the table is free, -2 when it cannot be read.
    qint32 comandaAperta(qint16 tavolo);
    void richiestaStampa(qint16 tavolo, int index, const QString &tavoloLibero, bool preconto);
    bool nota(const QString &rest, int index, const QString &prefix);

    clsDatabase &m_db;
    modPlikoServer &m_helpers;
    HandheldLink &m_link;
    OrderPrinting &m_printing;
};
