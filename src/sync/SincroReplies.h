// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MenuReplies.h"
#include "OrderReplies.h"
#include "ReferenceReplies.h"
#include "TableReplies.h"

#include <QString>
#include <QStringList>

class clsDatabase;
class modPlikoServer;
class HandheldLink;

// The synchronisation replies a handheld asks for with the "Sincro..." commands, one entry point
// per command. Each reply is built from one consistent state of the shared database, ends with
// one carriage return and goes out through the connection's inviaRisposta once the reading is
// over; a query that cannot be opened sends nothing.
class SincroReplies
{
public:
    SincroReplies(clsDatabase &db, modPlikoServer &mod, HandheldLink &link);

    void sincroTavoli(int index);
    void sincroTavolo(int index, const QString &tavolo, qint32 operatore);
    void sincroArticoli(int index);
    void sincroCategorie(int index);
    void sincroPrenotati(int index);
    void sincroVariazioni(int index);
    void sincroVariabili(int index);
    void sincroOperatori(int index);
    void sincroComande(qint32 operatore, int index);
    void sincroTavoliAltriOperatori(qint32 operatore, int index);

private:
    template<typename Build>
    void reply(int index, Build build);
    void send(const QString &reply, int index);
    void send(const QStringList &replies, int index);

    clsDatabase &m_db;
    HandheldLink &m_link;
    TableReplies m_tables;
    MenuReplies m_menu;
    ReferenceReplies m_reference;
    OrderReplies m_orders;
};
