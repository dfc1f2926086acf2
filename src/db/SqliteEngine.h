// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SqlTranslator.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

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
    QHash<QString, QString> indexColumns;  // upper-cased logical index name -> column
    QStringList columnNames;               // the columns' names, and the table's name for each
    QStringList columnTables;
    int column(const QString &name) const;
};

// One SQLite connection: translation and statement caches keyed by statement shape, and the
// catalogue questions the recordsets and schema operations ask.
class SqliteEngine
{
public:
    ~SqliteEngine();

    // Opens an existing database file (or creates one when create is true).
    static std::unique_ptr<SqliteEngine> open(const QString &path, bool create, QString *error);

    // Legacy-dialect statement. A query fills *rows; an action statement sets *changed.
    bool run(const QString &legacySql, ResultSet *rows, qint64 *changed);
    // Statement already in SQLite's dialect, with positional values.
    bool runNative(const QString &sql, const QList<QVariant> &values, ResultSet *rows, qint64 *changed);

    const TableInfo *table(const QString &name);
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
    QStringList tableNames();
    void invalidateCatalogue();

    // Reserves the next key of a counter column at once, as the legacy engine's AddNew did.
    bool reserveCounter(const TableInfo &t, qint64 *key);
    // A transaction began or ended: keys reserved inside it are forgotten.
    void transactionBoundary();

    bool inTransaction() const;
    QString lastError() const { return m_lastError; }
    int lastCode() const { return m_lastCode; }
    sqlite3 *handle() const { return m_db; }
    int cachedStatements() const { return int(m_cache.size()); }

private:
    struct Prepared
    {
        SqlTranslator::Translation tr;
        sqlite3_stmt *stmt = nullptr;
        QStringList names;   // column names and origin tables, read once per statement
        QStringList tables;
    };
    SqliteEngine() = default;
    bool fail(const QString &what);
    bool execute(sqlite3_stmt *stmt, const QList<QVariant> &values, const QList<int> *order,
                 const QList<bool> *numeric, ResultSet *rows, qint64 *changed, const Prepared *known = nullptr);
    sqlite3_stmt *prepare(const QByteArray &sql);

    sqlite3 *m_db = nullptr;
    QHash<QString, Prepared> m_cache;
    QHash<QString, sqlite3_stmt *> m_nativeCache;
    QHash<QString, TableInfo> m_tables; // by upper-cased name
    QHash<QString, qint64> m_reserved;
    QHash<QString, QString> m_texts;  // last counter key reserved per table in this transaction
    QString m_lastError;
    int m_lastCode = 0;
};
