// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// Rows of a query, materialised: the recordsets above it move freely and the prepared statement
// is free again at once (so nested queries of one shape never disturb each other).
struct ResultSet
{
    QStringList names;        // column names as the statement gives them
    QStringList tables;       // origin table of each column ("" for expressions)
    QList<QList<QVariant>> rows;
};

struct ColumnInfo
{
    QString name;
    QString type;
    bool numeric = false;
    bool primaryKey = false;
};

struct TableInfo
{
    QString name;                          // as the catalogue spells it
    QList<ColumnInfo> columns;
    QString counter;                       // the auto-increment key column, if any
    QString sequence;                      // where the engine keeps the counter's last key
    QHash<QString, QString> indexColumns;  // upper-cased logical index name -> column
    QStringList columnNames;               // the columns' names, and the table's name for each
    QStringList columnTables;
    int column(const QString &name) const;
};

// One connection to the restaurant database, whatever engine holds it: statements of the legacy
// dialect (translated and prepared once per shape), statements in the engine's own dialect with
// "?" placeholders, the catalogue the recordsets ask, counters and transactions.
class DbEngine
{
public:
    enum class Kind { Sqlite, Postgres };
    virtual ~DbEngine() = default;

    virtual Kind kind() const = 0;

    // Legacy-dialect statement. A query fills *rows; an action statement sets *changed.
    virtual bool run(const QString &legacySql, ResultSet *rows, qint64 *changed) = 0;
    // Statement in the engine's dialect with "?" or "?N" placeholders and positional values.
    virtual bool runNative(const QString &sql, const QList<QVariant> &values, ResultSet *rows, qint64 *changed) = 0;

    virtual const TableInfo *table(const QString &name) = 0;
    virtual QStringList tableNames() = 0;
    // The schema changed: catalogue and statements are read and prepared again.
    virtual void invalidateCatalogue() = 0;

    // Reserves the next key of a counter column at once, as the legacy engine's AddNew did.
    virtual bool reserveCounter(const TableInfo &t, qint64 *key) = 0;

    // A writing transaction holds the database's one writer lock from its start, so an order's
    // writes never fail half-way for a lock and two writers never interleave.
    virtual bool beginWrite() = 0;
    // A read-only transaction: every query in it sees one instant.
    virtual bool beginRead() = 0;
    virtual bool commit() = 0;
    virtual bool rollback() = 0;
    virtual bool inTransaction() const = 0;
    // Whether a failed statement may be tried again as it is (the legacy retries).
    virtual bool retryable() const { return true; }

    // The hidden column that finds a row again for an edit, and whether an update moves it.
    virtual QString rowKey() const = 0;
    virtual bool rowKeyMoves() const = 0;

    // The failure with this code was a conflict with another writer that ended the transaction
    // (deadlock, serialization failure): the whole transaction may be tried again.
    virtual bool conflict(int) const { return false; }
    // The failure with this code was the disk's, the network's or a damaged file's.
    virtual bool diskTrouble(int code) const = 0;
    // The failure with this code means the database could not be reached (not the statement's fault).
    virtual bool unreachable(int) const { return false; }
    // Called from another thread: what this connection waits for now fails soon (the statement, the
    // lock wait or the network read); the caller rolls its transaction back.
    virtual void interrupt() {}

    // Statement texts the recordsets build (seek on an index, insert of a set of columns), made
    // once per key: the prepared statement behind each is found by its text.
    template<typename Make>
    const QString &statementText(const QString &key, Make make)
    {
        auto it = m_texts.find(key);
        if (it == m_texts.end())
            it = m_texts.insert(key, make());
        return it.value();
    }

    QString lastError() const { return m_lastError; }
    int lastCode() const { return m_lastCode; }
    virtual int cachedStatements() const = 0;

protected:
    QHash<QString, QString> m_texts;
    QString m_lastError;
    int m_lastCode = 0;
};
