// SPDX-License-Identifier: GPL-3.0-or-later
#include "Recordset.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {
QString quoted(const QString &name)
{
    QString n = name;
    return u'"' + n.replace(u'"', u"\"\""_s) + u'"';
}
} // namespace

Recordset::Recordset(std::shared_ptr<DbEngine> engine, Kind kind, ResultSet rows)
    : m_engine(std::move(engine)), m_kind(kind), m_rows(std::move(rows))
{
    m_pos = m_rows.rows.isEmpty() ? 0 : 0;
}

Recordset::Recordset(std::shared_ptr<DbEngine> engine, const TableInfo &table)
    : m_engine(std::move(engine)), m_kind(Table), m_table(table), m_loaded(false)
{
    m_rows.names = m_table.columnNames;
    m_rows.tables = m_table.columnTables;
}

bool Recordset::fail(const QString &text)
{
    m_error = text;
    m_code = m_engine ? m_engine->lastCode() : -1;
    return false;
}

QString Recordset::selectAll() const
{
    QStringList cols;
    for (const auto &c : m_table.columns)
        cols.append(quoted(c.name));
    return u"SELECT "_s + m_engine->rowKey() + u", "_s + cols.join(u", "_s) + u" FROM "_s + quoted(m_table.name);
}

bool Recordset::ensureLoaded()
{
    if (m_loaded)
        return true;
    if (!m_engine)
        return fail(u"Recordset chiuso"_s);
    ResultSet rs;
    qint64 n = 0;
    // Without an index the rows come in key order, as the legacy engine gave them (SQLite's rowid
    // is that order; PostgreSQL's row positions move when a row is updated).
    const QString key = m_indexColumn.isEmpty() ? m_table.indexColumns.value(u"PRIMARYKEY"_s) : m_indexColumn;
    const QString order = key.isEmpty() ? m_engine->rowKey() : quoted(key);
    if (!m_engine->runNative(selectAll() + u" ORDER BY "_s + order, {}, &rs, &n))
        return fail(m_engine->lastError());
    m_rows.rows.clear();
    m_rowids.clear();
    for (auto &r : rs.rows) {
        m_rowids.append(r.takeFirst());
        m_rows.rows.append(std::move(r));
    }
    m_loaded = true;
    m_pos = 0;
    return true;
}

bool Recordset::isEOF()
{
    ensureLoaded();
    return m_rows.rows.isEmpty() || m_pos >= m_rows.rows.size();
}

bool Recordset::isBOF()
{
    ensureLoaded();
    return m_rows.rows.isEmpty() || m_pos < 0;
}

int Recordset::recordCount()
{
    ensureLoaded();
    return int(m_rows.rows.size());
}

void Recordset::moveFirst()
{
    ensureLoaded();
    m_pos = 0;
}

void Recordset::moveLast()
{
    ensureLoaded();
    m_pos = m_rows.rows.isEmpty() ? 0 : int(m_rows.rows.size()) - 1;
}

void Recordset::moveNext()
{
    ensureLoaded();
    if (m_pos < m_rows.rows.size())
        ++m_pos;
}

void Recordset::movePrevious()
{
    ensureLoaded();
    if (m_pos >= 0)
        --m_pos;
}

int Recordset::fieldIndex(const QString &name) const
{
    // Callers nearly always spell a field as the table does: that exact match is tried first. A
    // table's fields are unique and mostly written in its own order, so the search starts after
    // the last one found.
    const int count = int(m_rows.names.size());
    const int from = m_kind == Table && m_nextField < count ? m_nextField : 0;
    for (int k = 0; k < count; ++k) {
        const int i = (from + k) % count;
        if (m_rows.names[i] == name) {
            if (m_kind == Table)
                m_nextField = i + 1;
            return i;
        }
    }
    const qsizetype dot = name.indexOf(u'.');
    if (dot > 0) {
        const QStringView table = QStringView(name).left(dot);
        const QStringView column = QStringView(name).mid(dot + 1);
        for (int i = 0; i < m_rows.names.size(); ++i)
            if (m_rows.names[i].compare(column, Qt::CaseInsensitive) == 0
                && m_rows.tables.value(i).compare(table, Qt::CaseInsensitive) == 0)
                return i;
    }
    for (int i = 0; i < m_rows.names.size(); ++i)
        if (m_rows.names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant Recordset::value(int i)
{
    if (m_mode != Mode::None)
        return m_buffer.value(i);
    if (isEOF() || isBOF())
        return {};
    return m_rows.rows[m_pos].value(i);
}

QList<QVariant> Recordset::row()
{
    if (isEOF() || isBOF())
        return {};
    return m_rows.rows.at(m_pos);
}

QVariant Recordset::value(const QString &name)
{
    const int i = fieldIndex(name);
    return i < 0 ? QVariant() : value(i);
}

bool Recordset::setValue(const QString &name, const QVariant &v)
{
    if (m_mode == Mode::None)
        return fail(u"Update or CancelUpdate without AddNew or Edit."_s);
    const int i = fieldIndex(name);
    if (i < 0)
        return fail(u"Item not found in this collection: "_s + name);
    return setValue(i, v);
}

bool Recordset::setValue(int i, const QVariant &v)
{
    if (m_mode == Mode::None)
        return fail(u"Update or CancelUpdate without AddNew or Edit."_s);
    if (i < 0 || i >= m_buffer.size())
        return fail(u"Item not found in this collection: "_s + QString::number(i));
    m_buffer[i] = v;
    m_dirty[i] = true;
    return true;
}

bool Recordset::setIndex(const QString &indexName)
{
    if (m_kind != Table)
        return fail(u"Operation is not supported for this type of object."_s);
    const QString col = m_table.indexColumns.value(indexName.toUpper());
    if (col.isEmpty())
        return fail(u"'"_s + indexName + u"' isn't an index in this table."_s);
    m_indexColumn = col;
    return true;
}

bool Recordset::seek(const QString &comparison, const QVariant &key)
{
    m_noMatch = true;
    if (m_kind != Table || m_indexColumn.isEmpty())
        return fail(u"Operation is not supported for this type of object."_s);
    static const QStringList ops = {u"="_s, u">="_s, u">"_s, u"<="_s, u"<"_s};
    const QString op = comparison.trimmed();
    if (!ops.contains(op))
        return fail(u"Invalid comparison: "_s + comparison);
    const QString dir = op.startsWith(u'<') ? u" DESC"_s : QString();
    ResultSet rs;
    qint64 n = 0;
    const QString &sql = m_engine->statementText(u"seek\x1f"_s + m_table.name + u'\x1f' + m_indexColumn + u'\x1f' + op,
                                                 [&]() -> QString {
                                                     return selectAll() + u" WHERE "_s + quoted(m_indexColumn) + u' '
                                                         + op + u" ?1 ORDER BY "_s + quoted(m_indexColumn) + dir
                                                         + u" LIMIT 1"_s;
                                                 });
    if (!m_engine->runNative(sql, {key}, &rs, &n))
        return fail(m_engine->lastError());
    m_rows.rows.clear();
    m_rowids.clear();
    m_loaded = true;
    m_pos = 0;
    if (rs.rows.isEmpty())
        return true;
    auto row = rs.rows.takeFirst();
    m_rowids.append(row.takeFirst());
    m_rows.rows.append(std::move(row));
    m_noMatch = false;
    return true;
}

bool Recordset::addNew()
{
    if (m_kind != Table)
        return fail(u"Database or object is read-only."_s);
    m_buffer.fill(QVariant(), m_rows.names.size());
    m_dirty.fill(false, m_rows.names.size());
    // The counter key is allocated at once, as the legacy engine did: callers read it before Update.
    if (!m_table.counter.isEmpty()) {
        qint64 key = 0;
        if (!m_engine->reserveCounter(m_table, &key))
            return fail(m_engine->lastError());
        const int i = m_table.column(m_table.counter);
        m_buffer[i] = key;
        m_dirty[i] = true;
    }
    m_mode = Mode::Add;
    return true;
}

bool Recordset::edit()
{
    if (m_kind != Table)
        return fail(u"Database or object is read-only."_s);
    if (isEOF() || isBOF())
        return fail(u"No current record."_s);
    m_buffer = m_rows.rows[m_pos];
    m_dirty = QList<bool>(m_rows.names.size(), false);
    m_mode = Mode::Edit;
    return true;
}

bool Recordset::update()
{
    if (m_mode == Mode::None)
        return fail(u"Update or CancelUpdate without AddNew or Edit."_s);
    // A new record that sets every column (an order's line does) sends its buffer as it stands.
    m_values.clear();
    const bool tutte = m_mode == Mode::Add && !m_dirty.contains(false);
    for (int i = 0; i < m_buffer.size() && !tutte; ++i)
        if (m_dirty[i])
            m_values.append(m_buffer[i]);
    const bool runs = m_mode == Mode::Add || !m_values.isEmpty();
    if (runs && (m_mode != m_lastMode || m_dirty != m_lastDirty)) {
        // The columns written, as a key for the statement text (tables have far fewer than 128
        // columns the key can name).
        QString key = (m_mode == Mode::Add ? u"insert\x1f"_s : u"update\x1f"_s) + m_table.name + u'\x1f';
        QList<int> written;
        for (int i = 0; i < m_buffer.size(); ++i)
            if (m_dirty[i]) {
                written.append(i);
                key += QChar(char16_t(i + 1));
            }
        m_lastSql = m_engine->statementText(key, [&]() -> QString {
            if (m_mode == Mode::Add && written.isEmpty())
                return QString(u"INSERT INTO "_s + quoted(m_table.name) + u" DEFAULT VALUES"_s);
            QStringList parts;
            for (int i : written)
                parts.append(quoted(m_rows.names[i]) + (m_mode == Mode::Add ? QString() : u" = ?"_s));
            if (m_mode == Mode::Add)
                return QString(u"INSERT INTO "_s + quoted(m_table.name) + u" ("_s + parts.join(u", "_s)
                               + u") VALUES ("_s + QStringList(written.size(), u"?"_s).join(u", "_s) + u')');
            return QString(u"UPDATE "_s + quoted(m_table.name) + u" SET "_s + parts.join(u", "_s) + u" WHERE "_s
                           + m_engine->rowKey() + u" = ?"_s
                           + (m_engine->rowKeyMoves() ? u" RETURNING "_s + m_engine->rowKey() : QString()));
        });
        m_lastMode = m_mode;
        m_lastDirty = m_dirty;
    }
    qint64 n = 0;
    if (m_mode == Mode::Add) {
        if (!m_engine->runNative(m_lastSql, tutte ? m_buffer : m_values, nullptr, &n))
            return fail(m_engine->lastError());
    } else if (!m_values.isEmpty()) {
        m_values.append(m_rowids.value(m_pos));
        ResultSet moved;
        if (!m_engine->runNative(m_lastSql, m_values, m_engine->rowKeyMoves() ? &moved : nullptr, &n))
            return fail(m_engine->lastError());
        // Nothing updated: the record was deleted or changed by another user since it was read.
        // The edit is reported, never dropped in silence.
        if (n == 0)
            return fail(u"3197 The database engine stopped the process because you and another user are "
                        "attempting to change the same data at the same time."_s);
        if (!moved.rows.isEmpty())
            m_rowids[m_pos] = moved.rows[0].value(0);
        m_rows.rows[m_pos] = m_buffer;
    }
    m_mode = Mode::None;
    m_buffer.clear();
    m_dirty.clear();
    return true;
}

void Recordset::cancelUpdate()
{
    m_mode = Mode::None;
    m_buffer.clear();
    m_dirty.clear();
}

void Recordset::close()
{
    cancelUpdate();
    m_rows.rows.clear();
    m_rowids.clear();
    m_engine.reset();
}
