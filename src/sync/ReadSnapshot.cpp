// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReadSnapshot.h"

#include "clsDatabase.h"

using namespace Qt::StringLiterals;

ReadSnapshot::ReadSnapshot(clsDatabase &db) : m_db(db)
{
    DbEngine *engine = m_db.engine();
    if (!engine || engine->inTransaction())
        return;
    m_began = engine->beginRead();
}

ReadSnapshot::~ReadSnapshot()
{
    DbEngine *engine = m_db.engine();
    if (!m_began || !engine || !engine->inTransaction())
        return;
    if (!engine->commit())
        engine->rollback();
}
