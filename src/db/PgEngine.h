// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DbEngine.h"
#include "SqlTranslator.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <memory>

struct pg_conn;
struct pg_result;
using Oid = unsigned int;

// One connection to a restaurant database on a PostgreSQL server, through libpq: the database
// several servers and the back office share over the network. Statements are prepared once per
// shape and connection; a lost connection is opened again at the next statement outside a
// transaction.
class PgEngine final : public DbEngine
{
public:
    ~PgEngine() override;

    // "postgresql://..." or "postgres://...": a libpq connection URI.
    static bool isUri(const QString &path);
    static std::unique_ptr<PgEngine> open(const QString &uri, QString *error);
    // The URI without its password, for logs and messages.
    static QString displayUri(const QString &uri);

    Kind kind() const override { return Kind::Postgres; }
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
    bool retryable() const override;
    QString rowKey() const override { return QStringLiteral("ctid"); }
    bool rowKeyMoves() const override { return true; }
    bool diskTrouble(int) const override { return false; }
    bool unreachable(int code) const override { return code == ConnectionLost; }
    // A server that stopped answering (frozen, or a network that drops without a reset) would hold
    // a read for as long as it stays so: the socket is shut, the read fails at once, and the server
    // drops the transaction when it sees the connection gone.
    void interrupt() override;
    bool conflict(int code) const override { return code == SerializationFailure || code == Deadlock; }
    int cachedStatements() const override { return int(m_cache.size()); }

    // Runs a statement without parameters or preparing (transaction control, schema changes).
    bool exec(const QString &sql);

    // Error codes (lastCode) of the failures the retries care about.
    enum Code { ConnectionLost = 8, SerializationFailure = 40001, Deadlock = 40002, Aborted = 25002, Other = 1 };

private:
    struct Prepared
    {
        QByteArray name;
        SqlTranslator::Translation tr;
        QList<Oid> types;   // parameter types the statement was prepared with
    };
    PgEngine() = default;
    bool connect(QString *error);
    bool ready();
    bool failResult(pg_result *res);
    bool fail(int code, const QString &text);
    bool prepare(Prepared &p, const QByteArray &sql, const QList<Oid> &types);
    bool execute(const Prepared &p, const QList<QByteArray> &values, const QList<bool> &isNull, ResultSet *rows,
                 qint64 *changed);
    QString relationName(Oid oid);
    void forgetConnection();

    pg_conn *m_conn = nullptr;
    QMutex m_connLock; // m_conn changes under it: interrupt() reads it from another thread
    QByteArray m_uri;
    QHash<QString, SqlTranslator::Translation> m_translations; // by legacy shape
    QHash<QString, Prepared> m_cache;       // legacy shape + parameter types
    QHash<QString, Prepared> m_nativeCache; // native text + parameter types
    QHash<QString, TableInfo> m_tables;     // by upper-cased name
    QHash<Oid, QString> m_relations;
    int m_nextStatement = 0;
    bool m_txOpen = false;
};
