// SPDX-License-Identifier: GPL-3.0-or-later
#include "SincroReplies.h"

#include "ReadSnapshot.h"

SincroReplies::SincroReplies(clsDatabase &db, modPlikoServer &mod, HandheldLink &link)
    : m_db(db), m_tables(db, link), m_menu(db, mod, link), m_reference(db, link), m_orders(db, link)
{
}

void SincroReplies::sincroTavoli(int index)
{
    ReadSnapshot snapshot(m_db);
    m_tables.sincroTavoli(index);
}

void SincroReplies::sincroTavolo(int index, const QString &tavolo, qint32 operatore)
{
    ReadSnapshot snapshot(m_db);
    m_tables.sincroTavolo(index, tavolo, operatore);
}

void SincroReplies::sincroArticoli(int index)
{
    ReadSnapshot snapshot(m_db);
    m_menu.sincroArticoli(index);
}

void SincroReplies::sincroCategorie(int index)
{
    ReadSnapshot snapshot(m_db);
    m_menu.sincroCategorie(index);
}

void SincroReplies::sincroPrenotati(int index)
{
    ReadSnapshot snapshot(m_db);
    m_reference.sincroPrenotati(index);
}

void SincroReplies::sincroVariazioni(int index)
{
    ReadSnapshot snapshot(m_db);
    m_reference.sincroVariazioni(index);
}

void SincroReplies::sincroVariabili(int index)
{
    ReadSnapshot snapshot(m_db);
    m_reference.sincroVariabili(index);
}

void SincroReplies::sincroOperatori(int index)
{
    ReadSnapshot snapshot(m_db);
    m_reference.sincroOperatori(index);
}

void SincroReplies::sincroComande(qint32 operatore, int index)
{
    ReadSnapshot snapshot(m_db);
    m_orders.sincroComande(operatore, index);
}

void SincroReplies::sincroTavoliAltriOperatori(qint32 operatore, int index)
{
    ReadSnapshot snapshot(m_db);
    m_orders.sincroTavoliAltriOperatori(operatore, index);
}
