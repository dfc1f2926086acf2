// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DbEngine.h"
#include "SqlTranslator.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <memory>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

// One SQLite connection: translation and statement caches keyed by statement shape, and the
// catalogue questions the recordsets and schema operations ask.
class SqliteEngine final : public DbEngine
{
public:
    ~SqliteEngine() override;
    void interrupt() override;

    // Opens an existing database file (or creates one when create is true).
    static std::unique_ptr<SqliteEngine> open(const QString &path, bool create, QString *error);

    Kind kind() const override { return Kind::Sqlite; }
    bool run(const QString &legacySql, ResultSet *rows, qint64 *changed) override;
    bool runNative(const QString &sql, const QList<QVariant> &values, ResultSet *rows, qint64 *changed) override;
    const TableInfo *table(const QString &name) override;
    QStringList tableNames() override;
    void invalidateCatalogue() override;
    bool reserveCounter(const TableInfo &t, qint64 *key) override;
    bool beginWrite() override;
    bool beginRead() override;
    bool commit() override;
    bool rollback() override;
    bool inTransaction() const override;
    QString rowKey() const override { return QStringLiteral("rowid"); }
    bool rowKeyMoves() const override { return false; }
    bool diskTrouble(int code) const override;
    int cachedStatements() const override { return int(m_cache.size()); }
    // How many statements are kept split as sent, and how many are now.
    static constexpr qsizetype KeptStatements = 2048;
    qsizetype keptStatements() const { return m_splits.size(); }

    sqlite3 *handle() const { return m_db; }

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

    Prepared *preparedFor(const QString &shape);

    sqlite3 *m_db = nullptr;
    // Where a run's texts are bound from (see BoundTexts).
    std::array<char, 8192> m_boundTexts{};
    // By shape; a node map, so that a statement's entry stays where it is while others come.
    std::unordered_map<QString, Prepared> m_cache;
    // Statements as sent, split, with their prepared statement once known: an order sends the same
    // per-line statements (an article's stock, its availability) again and again, and splitting
    // costs far more than looking up.
    struct Known
    {
        SqlTranslator::Split split;
        Prepared *prepared = nullptr;
    };
    QHash<QString, Known> m_splits;
    // The texts of m_splits in the order they came; once full, m_oldestSplit is the next to go.
    QList<QString> m_splitOrder;
    qsizetype m_oldestSplit = 0;
    QHash<QString, sqlite3_stmt *> m_nativeCache;
    QHash<QString, TableInfo> m_tables; // by upper-cased name
    QHash<QString, QString> m_tableKeys; // a name as callers spell it -> its key in m_tables
    // Per table: the last counter key reserved in this transaction (live), whether sqlite_sequence
    // has it, and the statement that finds the next key.
    struct Reserved
    {
        qint64 last = 0;
        bool written = false;
        bool live = false;
        QString counter;
        QString nextKey;
    };
    QHash<QString, Reserved> m_reserved;
    void forgetReserved();
    bool writeReservedCounters();
};
