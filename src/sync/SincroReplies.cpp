// SPDX-License-Identifier: GPL-3.0-or-later
#include "SincroReplies.h"

SincroReplies::SincroReplies(clsDatabase &db, modPlikoServer &mod, HandheldLink &link)
    : m_tables(db, link), m_menu(db, mod, link), m_reference(db, link), m_orders(db, link)
{
}
