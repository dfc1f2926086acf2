// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReadSnapshot.h"

#include "clsDatabase.h"

using namespace Qt::StringLiterals;

ReadSnapshot::ReadSnapshot(clsDatabase &db) : m_db(db)
{
    SqliteEngine *engine = m_db.engine();
    if (!engine || engine->inTransaction())
        return;
    qint64 changed = 0;
    m_began = engine->runNative(u"BEGIN DEFERRED"_s, {}, nullptr, &changed);
}

ReadSnapshot::~ReadSnapshot()
{
    SqliteEngine *engine = m_db.engine();
    if (!m_began || !engine || !engine->inTransaction())
        return;
    qint64 changed = 0;
    if (!engine->runNative(u"COMMIT"_s, {}, nullptr, &changed))
        engine->runNative(u"ROLLBACK"_s, {}, nullptr, &changed);
}
