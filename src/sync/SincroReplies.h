// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MenuReplies.h"
#include "OrderReplies.h"
#include "ReferenceReplies.h"
#include "TableReplies.h"

#include <QString>

class clsDatabase;
class modPlikoServer;
class HandheldLink;

// The synchronisation replies a handheld asks for with the "Sincro..." commands, one entry point
// per command. Each builds its reply from the shared database, ends it with one carriage return
// and sends it through the connection's inviaRisposta; a query that cannot be opened sends nothing.
// Each reply reads one consistent state of the database.
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
    clsDatabase &m_db;
    TableReplies m_tables;
    MenuReplies m_menu;
    ReferenceReplies m_reference;
    OrderReplies m_orders;
};
