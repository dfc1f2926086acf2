// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DbEngine.h"

#include <QString>
#include <QVariant>
#include <memory>

// A DAO-shaped recordset over the shared database: a table (seek on a named index, add and edit
// records), a dynaset or a snapshot (rows of a query). Fields are read by name or by
// "table.column"; a missing field or a position past the ends reads as null.
class Recordset
{
public:
    enum Kind { Table = 1, Dynaset = 2, Snapshot = 4 };

    // A query's rows (dynaset or snapshot).
    Recordset(std::shared_ptr<DbEngine> engine, Kind kind, ResultSet rows);
    // A whole table, positioned on its first record.
    Recordset(std::shared_ptr<DbEngine> engine, const TableInfo &table);

    Kind kind() const { return m_kind; }

    bool isEOF();
    bool isBOF();
    int recordCount();
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();

    int fieldCount() const { return int(m_rows.names.size()); }
    QString fieldName(int i) const { return m_rows.names.value(i); }
    bool hasField(const QString &name) const { return fieldIndex(name) >= 0; }
    QVariant value(const QString &name);
    QVariant value(int i);
    // The current record as read, in column order (shared, not copied); empty past either end.
    QList<QVariant> row();
    QVariant operator[](const QString &name) { return value(name); }
    bool setValue(const QString &name, const QVariant &v);
    // By position (fieldIndex): for a caller writing the same columns record after record.
    bool setValue(int i, const QVariant &v);
    int fieldIndex(const QString &name) const;

    // Table recordsets only.
    bool setIndex(const QString &indexName);
    bool seek(const QString &comparison, const QVariant &key);
    bool noMatch() const { return m_noMatch; }

    bool addNew();
    bool edit();
    bool update();
    void cancelUpdate();
    bool editing() const { return m_mode != Mode::None; }

    void close();
    QString lastError() const { return m_error; }
    int lastCode() const { return m_code; }

private:
    enum class Mode { None, Edit, Add };
    bool ensureLoaded();
    bool fail(const QString &text);
    QString selectAll() const;

    std::shared_ptr<DbEngine> m_engine;
    Kind m_kind;
    TableInfo m_table;               // Table kind
    QString m_indexColumn;
    ResultSet m_rows;
    QList<QVariant> m_rowids;          // Table kind, parallel to rows
    bool m_loaded = true;
    int m_pos = 0;                   // -1 before the first row, rows.size() after the last
    mutable int m_nextField = 0;     // Table kind: where the next field is looked for first
    bool m_noMatch = false;
    Mode m_mode = Mode::None;
    QList<QVariant> m_buffer;
    QList<bool> m_dirty;
    // The last update's statement and the columns it wrote (the lines of an order write the same
    // ones, one after the other), and room reused for the values it sends.
    Mode m_lastMode = Mode::None;
    QList<bool> m_lastDirty;
    QString m_lastSql;
    QList<QVariant> m_values;
    QString m_error;
    int m_code = 0;
};
