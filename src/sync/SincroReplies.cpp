// SPDX-License-Identifier: GPL-3.0-or-later
#include "SincroReplies.h"

#include "HandheldLink.h"
#include "ReadSnapshot.h"

SincroReplies::SincroReplies(clsDatabase &db, modPlikoServer &mod, HandheldLink &link)
    : m_db(db), m_link(link), m_tables(db), m_menu(db, mod), m_reference(db), m_orders(db)
{
}

// The reply is read inside one snapshot and sent after it has ended: sending may let other
// requests run, and none of them must find a transaction of ours still open.
template<typename Build>
void SincroReplies::reply(int index, Build build)
{
    decltype(build()) text;
    {
        ReadSnapshot snapshot(m_db);
        text = build();
    }
    send(text, index);
}

void SincroReplies::send(const QString &reply, int index)
{
    if (!reply.isNull())
        m_link.inviaRisposta(reply, index);
}

void SincroReplies::send(const QStringList &replies, int index)
{
    for (const QString &r : replies)
        m_link.inviaRisposta(r, index);
}

void SincroReplies::sincroTavoli(int index)
{
    reply(index, [this] { return m_tables.sincroTavoli(); });
}

void SincroReplies::sincroTavolo(int index, const QString &tavolo, qint32 operatore)
{
    reply(index, [&] { return m_tables.sincroTavolo(tavolo, operatore, index); });
}

void SincroReplies::sincroArticoli(int index)
{
    reply(index, [this] { return m_menu.sincroArticoli(); });
}

void SincroReplies::sincroCategorie(int index)
{
    reply(index, [this] { return m_menu.sincroCategorie(); });
}

void SincroReplies::sincroPrenotati(int index)
{
    reply(index, [this] { return m_reference.sincroPrenotati(); });
}

void SincroReplies::sincroVariazioni(int index)
{
    reply(index, [this] { return m_reference.sincroVariazioni(); });
}

void SincroReplies::sincroVariabili(int index)
{
    reply(index, [this] { return m_reference.sincroVariabili(); });
}

void SincroReplies::sincroOperatori(int index)
{
    reply(index, [this] { return m_reference.sincroOperatori(); });
}

void SincroReplies::sincroComande(qint32 operatore, int index)
{
    reply(index, [&] { return m_orders.sincroComande(operatore); });
}

void SincroReplies::sincroTavoliAltriOperatori(qint32 operatore, int index)
{
    reply(index, [&] { return m_orders.sincroTavoliAltriOperatori(operatore); });
}
