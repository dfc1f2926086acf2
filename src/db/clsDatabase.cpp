// SPDX-License-Identifier: GPL-3.0-or-later
#include "clsDatabase.h"

#include "ErrorRoutine.h"
#include "OperatorUi.h"
#include "PgEngine.h"
#include "SqliteEngine.h"
#include "modGestioneTipiDato.h"

#include <QCoreApplication>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {
constexpr int StatementAttempts = 3;
constexpr int RecordAttempts = 4;

QString quoted(const QString &name)
{
    QString n = name;
    return u'"' + n.replace(u'"', u"\"\""_s) + u'"';
}

QString sqlType(int type, bool postgres)
{
    switch (type) {
    case clsDatabase::dbText:
    case clsDatabase::dbMemo:
        return postgres ? u"citext"_s : u"TEXT COLLATE NOCASE"_s;
    case clsDatabase::dbCurrency:
    case clsDatabase::dbSingle:
    case clsDatabase::dbDouble:
    case clsDatabase::dbDate:
        return postgres ? u"double precision"_s : u"REAL"_s;
    default:
        return postgres ? u"bigint"_s : u"INTEGER"_s;
    }
}
} // namespace

clsDatabase::clsDatabase(OperatorUi *ui) : m_ui(ui) {}

clsDatabase::~clsDatabase()
{
    m_engine.reset();
}

void clsDatabase::reportFailure(const QString &label, const QString &text, int engineCode)
{
    m_conflict = m_engine && m_engine->conflict(engineCode);
    if ((m_engine && m_engine->unreachable(engineCode)) || m_deadline.hasExpired()) {
        // Not this machine's trouble: restarting would not bring the database back.
        m_unreachable = true;
        m_diskTrouble = false;
        diagnostics::reportFault(label, text, m_lastLine);
        return;
    }
    if (m_engine && m_engine->diskTrouble(engineCode)) {
        m_diskTrouble = true;
        diagnostics::capture(diagnostics::ErrDiskOrNetwork, text, m_lastLine);
        diagnostics::erroreComune({}, label, diagnostics::Where::Request);
        return;
    }
    m_diskTrouble = false;
    diagnostics::reportFault(label, text, m_lastLine);
}

bool clsDatabase::overdue(int line)
{
    if (!m_deadline.hasExpired())
        return false;
    m_unreachable = true;
    m_diskTrouble = false;
    fail(u"Il database non ha risposto in tempo"_s, line);
    return true;
}

void clsDatabase::interrupt()
{
    QMutexLocker lock(&m_engineLock);
    if (m_engine)
        m_engine->interrupt();
}

bool clsDatabase::fail(const QString &text, int line)
{
    m_lastError = text;
    m_lastLine = line;
    return false;
}

bool clsDatabase::retryAfter(int attempt, int attempts)
{
    if (attempt >= attempts || !m_engine || !m_engine->retryable()
        || m_deadline.remainingTimeAsDuration() <= m_retryDelay)
        return false;
    pause();
    return true;
}

void clsDatabase::pause()
{
    BusyPointer busy(m_ui);
    QThread::msleep(static_cast<unsigned long>(m_retryDelay.count()));
}

bool clsDatabase::openDB(const QString &path, const QString &, bool)
{
    if (path.isEmpty())
        return false;
    if (m_engine) {
        ++m_opens;
        m_lastError = u"Database gia aperto"_s;
        return true;
    }
    QString error;
    std::shared_ptr<DbEngine> engine;
    if (PgEngine::isUri(path))
        engine = PgEngine::open(path, &error);
    else
        engine = SqliteEngine::open(path, false, &error);
    // A file that cannot be opened is this machine's disk trouble; a database server that does not
    // answer is not, and restarting this server would not bring it back.
    m_diskTrouble = !engine && !PgEngine::isUri(path);
    if (!engine) {
        // A SQLite file that will not open is this machine's trouble (above), not a database away.
        m_unreachable = !m_diskTrouble;
        return fail(error, 20);
    }
    {
        QMutexLocker lock(&m_engineLock);
        m_engine = std::move(engine);
    }
    m_isOpen.store(true);
    m_path = path;
    m_opens = 1;
    return true;
}

void clsDatabase::closeDB()
{
    if (!m_engine)
        return;
    if (--m_opens > 0)
        return;
    if (m_engine->inTransaction()) {
        // A transaction left open by a failed handler is rolled back, never committed by accident.
        diagnostics::reportFault(u"clsDatabase::closeDB"_s, u"Transazione aperta alla chiusura: annullata"_s);
        m_engine->rollback();
    }
    std::shared_ptr<DbEngine> gone;
    {
        QMutexLocker lock(&m_engineLock);
        gone = std::exchange(m_engine, nullptr);
    }
    m_isOpen.store(false);
    gone.reset();
    m_opens = 0;
}

std::unique_ptr<Recordset> clsDatabase::openRecordset(const QString &source, int type, int)
{
    if (!m_engine) {
        if (m_ui)
            m_ui->message(u"Openrecordset su database chiuso"_s);
        return nullptr;
    }
    if (overdue(31))
        return nullptr;
    for (int attempt = 1; attempt <= StatementAttempts; ++attempt) {
        if (type == Recordset::Table) {
            if (const TableInfo *t = m_engine->table(source.trimmed()))
                return std::make_unique<Recordset>(m_engine, *t);
            fail(u"3078 The Microsoft Jet database engine cannot find the input table or query '"_s + source
                     + u"'."_s,
                 30);
        } else {
            ResultSet rows;
            qint64 n = 0;
            if (m_engine->run(source, &rows, &n))
                return std::make_unique<Recordset>(m_engine, Recordset::Kind(type == Recordset::Snapshot
                                                                                  ? Recordset::Snapshot
                                                                                  : Recordset::Dynaset),
                                                   std::move(rows));
            fail(QString::number(m_engine->lastCode()) + u' ' + m_engine->lastError(), 40);
        }
        if (!retryAfter(attempt, StatementAttempts))
            break;
    }
    reportFailure(u"clsDatabase::Sub openRecordset"_s, m_lastError + u" ["_s + source + u']',
                  type == Recordset::Table ? 0 : m_engine->lastCode());
    return nullptr;
}

bool clsDatabase::doQuery(const QString &sql)
{
    // Let pending socket and timer events run first, but never inside a transaction: another
    // request's writes must not be interleaved into it (a rollback would erase them).
    if (m_yield && QCoreApplication::instance() && !inTransaction())
        QCoreApplication::processEvents();
    if (!m_engine) {
        fail(u"Database non aperto"_s, 50);
        diagnostics::reportFault(u"clsDatabase::Sub openRecordset"_s, m_lastError, m_lastLine);
        return false;
    }
    if (overdue(51))
        return false;
    for (int attempt = 1; attempt <= StatementAttempts; ++attempt) {
        qint64 n = 0;
        if (m_engine->run(sql, nullptr, &n)) {
            m_lastChanged = n;
            return true;
        }
        fail(m_engine->lastError(), 60);
        if (!retryAfter(attempt, StatementAttempts))
            break;
    }
    reportFailure(u"clsDatabase::Sub openRecordset"_s, m_lastError + u" ["_s + sql + u']', m_engine->lastCode());
    return false;
}

bool clsDatabase::recordOp(Recordset &rs, bool (Recordset::*op)(), const char *label, bool numberedText)
{
    if (overdue(71))
        return false;
    for (int attempt = 1; attempt <= RecordAttempts; ++attempt) {
        if ((rs.*op)())
            return true;
        fail(numberedText ? QString::number(rs.lastCode()) + u' ' + rs.lastError() : rs.lastError(), 70);
        if (!retryAfter(attempt, RecordAttempts))
            break;
    }
    reportFailure(QString::fromLatin1(label), m_lastError, rs.lastCode());
    return false;
}

bool clsDatabase::addNewRecord(Recordset &rs)
{
    return recordOp(rs, &Recordset::addNew, "clsDatabase::Sub addNewRecord", true);
}

bool clsDatabase::editRecord(Recordset &rs)
{
    return recordOp(rs, &Recordset::edit, "clsDatabase::Sub editRecord", true);
}

bool clsDatabase::updateRecord(Recordset &rs)
{
    return recordOp(rs, &Recordset::update, "clsDatabase::Sub updateRecord", false);
}

bool clsDatabase::inTransaction() const
{
    return m_engine && m_engine->inTransaction();
}

bool clsDatabase::beginTrans()
{
    m_conflict = false;
    if (!m_engine)
        return fail(u"Database non aperto"_s, 80);
    if (m_engine->inTransaction()) {
        fail(u"Transazione già aperta: una seconda non viene annidata"_s, 81);
        diagnostics::reportFault(u"clsDatabase::beginTrans"_s, m_lastError, m_lastLine);
        return false;
    }
    if (overdue(83))
        return false;
    // The writer lock is taken now, so the order's writes cannot fail half-way for a lock.
    for (int attempt = 1; attempt <= StatementAttempts; ++attempt) {
        if (m_engine->beginWrite())
            return true;
        fail(m_engine->lastError(), 82);
        if (!retryAfter(attempt, StatementAttempts))
            break;
    }
    reportFailure(u"clsDatabase::beginTrans"_s, m_lastError, m_engine->lastCode());
    return false;
}

bool clsDatabase::commitTrans()
{
    if (!inTransaction())
        return fail(u"Nessuna transazione aperta"_s, 90);
    // Past its time the work is not confirmed: the caller rolls it back.
    if (overdue(92))
        return false;
    for (int attempt = 1; attempt <= StatementAttempts; ++attempt) {
        if (m_engine->commit())
            return true;
        fail(m_engine->lastError(), 91);
        if (!retryAfter(attempt, StatementAttempts))
            break;
    }
    reportFailure(u"clsDatabase::commitTrans"_s, m_lastError, m_engine->lastCode());
    return false;
}

bool clsDatabase::rollback()
{
    if (!inTransaction())
        return fail(u"Nessuna transazione aperta"_s, 95);
    if (m_engine->rollback())
        return true;
    fail(m_engine->lastError(), 96);
    reportFailure(u"clsDatabase::rollback"_s, m_lastError, m_engine->lastCode());
    return false;
}

bool clsDatabase::findTable(const QString &table)
{
    if (!m_engine)
        return false;
    return m_engine->table(table) != nullptr;
}

bool clsDatabase::findField(const QString &table, const QString &field)
{
    if (!findTable(table))
        return false;
    return m_engine->table(table)->column(field) >= 0;
}

bool clsDatabase::findIndex(const QString &table, const QString &index)
{
    if (!findTable(table))
        return fail(u"3265 Item not found in this collection: "_s + table, 100);
    return m_engine->table(table)->indexColumns.contains(index.toUpper());
}

bool clsDatabase::createField(const QString &table, const QString &field, int type, const QVariant &defaultValue,
                              bool required, int, bool autoIncrement)
{
    if (!m_engine)
        return fail(u"Database non aperto"_s, 110);
    if (findField(table, field))
        return true;
    const bool pg = m_engine->kind() == DbEngine::Kind::Postgres;
    // The legacy engine's names ignore case; PostgreSQL's quoted names do not, so they are kept in
    // lower case there, as the schema has them.
    const QString t = pg ? table.toLower() : table;
    QString def = quoted(pg ? field.toLower() : field) + u' ' + sqlType(type, pg);
    if (autoIncrement)
        def = quoted(pg ? field.toLower() : field) + (pg ? u" bigserial PRIMARY KEY"_s
                                                        : u" INTEGER PRIMARY KEY AUTOINCREMENT"_s);
    else {
        if (required)
            def += u" NOT NULL"_s;
        if (defaultValue.isValid() && !defaultValue.isNull()) {
            const QString v = defaultValue.toString();
            bool numeric = false;
            v.toDouble(&numeric);
            def += u" DEFAULT "_s + (numeric ? v : u'\'' + QString(v).replace(u'\'', u"''"_s) + u'\'');
        } else if (type == dbText || type == dbMemo) {
            def += u" DEFAULT ''"_s; // zero-length text allowed, as AllowZeroLength
        }
    }
    const QString sql = findTable(table)
        ? QString(u"ALTER TABLE "_s + quoted(t) + u" ADD COLUMN "_s + def)
        : QString(u"CREATE TABLE "_s + quoted(t) + u" ("_s + def + u')');
    qint64 n = 0;
    const bool ok = m_engine->runNative(sql, {}, nullptr, &n);
    m_engine->invalidateCatalogue();
    return ok || fail(m_engine->lastError(), 111);
}

bool clsDatabase::createIndex(const QString &table, const QString &field, const QString &index, bool primary,
                              bool unique, bool)
{
    if (!findTable(table))
        return fail(u"3265 Item not found in this collection: "_s + table, 120);
    if (findIndex(table, index))
        return true;
    // Index names are per table in the legacy engine and per database here: the table's name
    // is put before the index's.
    const bool pg = m_engine->kind() == DbEngine::Kind::Postgres;
    const QString t = pg ? m_engine->table(table)->name : table;
    const QString sql = u"CREATE "_s + ((primary || unique) ? u"UNIQUE "_s : QString()) + u"INDEX "_s
        + quoted(pg ? (table + u'_' + index).toLower() : table + u'_' + index) + u" ON "_s + quoted(t) + u" ("_s
        + quoted(pg ? field.toLower() : field) + u')';
    qint64 n = 0;
    const bool ok = m_engine->runNative(sql, {}, nullptr, &n);
    m_engine->invalidateCatalogue();
    return ok || fail(m_engine->lastError(), 121);
}

bool clsDatabase::changeFieldToText(const QString &table, const QString &field, int)
{
    if (!findField(table, field))
        return fail(u"3265 Item not found in this collection: "_s + field, 130);
    qint64 n = 0;
    if (m_engine->kind() == DbEngine::Kind::Postgres) {
        // PostgreSQL changes a column's type in place, indexes and all.
        const TableInfo *ti = m_engine->table(table);
        const QString column = ti->columns[ti->column(field)].name;
        const bool ok = m_engine->runNative(u"ALTER TABLE "_s + quoted(ti->name) + u" ALTER COLUMN "_s + quoted(column)
                                                + u" TYPE citext USING "_s + quoted(column) + u"::text"_s,
                                            {}, nullptr, &n);
        m_engine->invalidateCatalogue();
        return ok || fail(m_engine->lastError(), 131);
    }
    const QString t = quoted(table);
    const QString temp = u"\"__temp_field__\""_s;
    // Indexes on the field would follow it to the temporary name and block its removal: they are
    // dropped first and made again on the new text field.
    ResultSet indexes;
    m_engine->runNative(u"SELECT il.name, il.\"unique\" FROM pragma_index_list(?1) il, pragma_index_info(il.name) ii "
                        "WHERE upper(ii.name) = upper(?2) AND il.origin = 'c'"_s,
                        {table, field}, &indexes, &n);
    for (const auto &ix : indexes.rows)
        m_engine->runNative(u"DROP INDEX "_s + quoted(ix.value(0).toString()), {}, nullptr, &n);
    ResultSet rows;
    const bool ok = m_engine->runNative(u"ALTER TABLE "_s + t + u" RENAME COLUMN "_s + quoted(field) + u" TO "_s + temp,
                                        {}, nullptr, &n)
        && m_engine->runNative(u"ALTER TABLE "_s + t + u" ADD COLUMN "_s + quoted(field)
                                   + u" TEXT COLLATE NOCASE DEFAULT ''"_s,
                               {}, nullptr, &n)
        && m_engine->runNative(u"SELECT rowid, "_s + temp + u" FROM "_s + t, {}, &rows, &n);
    if (!ok) {
        m_engine->invalidateCatalogue();
        return fail(m_engine->lastError(), 131);
    }
    for (const auto &r : rows.rows)
        if (!m_engine->runNative(u"UPDATE "_s + t + u" SET "_s + quoted(field) + u" = ? WHERE rowid = ?"_s,
                                 {safeString(r.value(1)), r.value(0)}, nullptr, &n))
            return fail(m_engine->lastError(), 132);
    bool dropped = m_engine->runNative(u"ALTER TABLE "_s + t + u" DROP COLUMN "_s + temp, {}, nullptr, &n);
    for (const auto &ix : indexes.rows)
        dropped = m_engine->runNative(u"CREATE "_s + (ix.value(1).toInt() ? u"UNIQUE "_s : QString()) + u"INDEX "_s
                                          + quoted(ix.value(0).toString()) + u" ON "_s + t + u" ("_s + quoted(field)
                                          + u')',
                                      {}, nullptr, &n)
            && dropped;
    m_engine->invalidateCatalogue();
    return dropped || fail(m_engine->lastError(), 133);
}

bool clsDatabase::resizeTextField(const QString &table, const QString &field, int size)
{
    return changeFieldToText(table, field, size);
}

qint32 clsDatabase::ReadLong(const QString &name, qint32 defaultValue)
{
    if (!m_engine)
        return defaultValue;
    const TableInfo *t = m_engine->table(u"var_long"_s);
    if (!t)
        return defaultValue;
    Recordset rs(m_engine, *t);
    if (!rs.setIndex(u"name_idx"_s) || !rs.seek(u"="_s, name) || rs.noMatch())
        return defaultValue;
    return tipi::toLong(safeString(rs.value(u"value"_s)));
}

QString clsDatabase::ReadString(const QString &name, const QString &defaultValue)
{
    if (!m_engine)
        return defaultValue;
    const TableInfo *t = m_engine->table(u"var_str"_s);
    if (!t)
        return defaultValue;
    Recordset rs(m_engine, *t);
    if (!rs.setIndex(u"name_idx"_s) || !rs.seek(u"="_s, name) || rs.noMatch())
        return defaultValue;
    return safeString(rs.value(u"value"_s));
}

bool clsDatabase::ensureSettingsTable()
{
    if (findTable(u"settings"_s))
        return true;
    return createField(u"settings"_s, u"nome"_s, dbText, {}, true, 128, false)
        && createField(u"settings"_s, u"valore"_s, dbMemo)
        && createIndex(u"settings"_s, u"nome"_s, u"idx_nome"_s, true, true, false);
}

QString clsDatabase::ReadSetting(const QString &name, const QString &defaultValue)
{
    if (!m_engine || !ensureSettingsTable())
        return defaultValue;
    auto rs = openTable(u"settings"_s);
    if (!rs || !rs->setIndex(u"idx_nome"_s) || !rs->seek(u"="_s, name) || rs->noMatch())
        return defaultValue;
    return safeString(rs->value(u"valore"_s));
}

bool clsDatabase::WriteLong(const QString &name, qint32 value)
{
    if (!m_engine)
        return fail(u"Database non aperto"_s, 140);
    const TableInfo *t = m_engine->table(u"var_long"_s);
    if (!t)
        return fail(u"3078 var_long"_s, 141);
    Recordset rs(m_engine, *t);
    if (!rs.setIndex(u"name_idx"_s) || !rs.seek(u"="_s, name))
        return fail(rs.lastError(), 142);
    if (rs.noMatch()) {
        if (!addNewRecord(rs))
            return false;
        rs.setValue(u"name"_s, name);
    } else if (!editRecord(rs)) {
        return false;
    }
    rs.setValue(u"value"_s, value);
    return updateRecord(rs);
}

bool clsDatabase::WriteString(const QString &name, const QString &value)
{
    if (!m_engine)
        return fail(u"Database non aperto"_s, 150);
    const TableInfo *t = m_engine->table(u"var_str"_s);
    if (!t)
        return fail(u"3078 var_str"_s, 151);
    Recordset rs(m_engine, *t);
    if (!rs.setIndex(u"name_idx"_s) || !rs.seek(u"="_s, name))
        return fail(rs.lastError(), 152);
    if (rs.noMatch()) {
        if (!addNewRecord(rs))
            return false;
        rs.setValue(u"name"_s, name);
    } else if (!editRecord(rs)) {
        return false;
    }
    rs.setValue(u"value"_s, value);
    return updateRecord(rs);
}

bool clsDatabase::WriteSetting(const QString &name, const QString &value)
{
    if (!m_engine)
        return false;
    if (!ensureSettingsTable())
        return false;
    auto rs = openTable(u"settings"_s);
    if (!rs || !rs->setIndex(u"idx_nome"_s) || !rs->seek(u"="_s, name))
        return false;
    const bool ok = rs->noMatch() ? rs->addNew() : rs->edit();
    if (!ok)
        return fail(rs->lastError(), 160);
    if (rs->noMatch())
        rs->setValue(u"nome"_s, name);
    rs->setValue(u"valore"_s, value);
    return rs->update() || fail(rs->lastError(), 161);
}

QString clsDatabase::safeString(const QVariant &value)
{
    return tipi::toText(value);
}

QString clsDatabase::SQLEscape(const QString &text)
{
    QString s = text;
    s.replace(u"'"_s, u"''"_s);
    s.replace(u"|"_s, u"' & chr(124) & '"_s);
    return s;
}
