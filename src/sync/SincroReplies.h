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
class SincroReplies
{
public:
    SincroReplies(clsDatabase &db, modPlikoServer &mod, HandheldLink &link);

    void sincroTavoli(int index) { m_tables.sincroTavoli(index); }
    void sincroTavolo(int index, const QString &tavolo, qint32 operatore)
    {
        m_tables.sincroTavolo(index, tavolo, operatore);
    }
    void sincroArticoli(int index) { m_menu.sincroArticoli(index); }
    void sincroCategorie(int index) { m_menu.sincroCategorie(index); }
    void sincroPrenotati(int index) { m_reference.sincroPrenotati(index); }
    void sincroVariazioni(int index) { m_reference.sincroVariazioni(index); }
    void sincroVariabili(int index) { m_reference.sincroVariabili(index); }
    void sincroOperatori(int index) { m_reference.sincroOperatori(index); }
    void sincroComande(qint32 operatore, int index) { m_orders.sincroComande(operatore, index); }
    void sincroTavoliAltriOperatori(qint32 operatore, int index)
    {
        m_orders.sincroTavoliAltriOperatori(operatore, index);
    }

private:
    TableReplies m_tables;
    MenuReplies m_menu;
    ReferenceReplies m_reference;
    OrderReplies m_orders;
};
