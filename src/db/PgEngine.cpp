// SPDX-License-Identifier: GPL-3.0-or-later
#include "PgEngine.h"

#include "modGestioneTipiDato.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <cmath>
#include <utility>
#include <libpq-fe.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcPg, "pliko.db")

namespace {

// Type identifiers of the server's built-in types the engine binds and reads.
constexpr Oid BoolOid = 16, ByteaOid = 17, Int8Oid = 20, Int2Oid = 21, Int4Oid = 23, OidOid = 26, Float4Oid = 700,
              Float8Oid = 701, NumericOid = 1700, UnknownOid = 0;

// Every server takes this advisory lock for its writing transactions: one writer at a time, as
// on the SQLite file, so stock checks and order look-ups never race between servers.
constexpr qint64 WriterLockKey = 0x504c494b4f;

struct Bound
{
    QList<QByteArray> values;
    QList<bool> nulls;
    QList<Oid> types;
};

void bind(const QVariant &v, bool numericTarget, bool likePattern, Bound &b)
{
    QByteArray text;
    Oid type = UnknownOid;
    bool null = false;
    switch (v.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        null = true;
        break;
    case QMetaType::Bool:
        type = Int8Oid;
        text = v.toBool() ? "-1" : "0";
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::Long: {
        // Small numbers go as integer, so functions taking one (chr) find theirs.
        const qint64 n = v.toLongLong();
        type = n >= INT32_MIN && n <= INT32_MAX ? Int4Oid : Int8Oid;
        text = QByteArray::number(n);
        break;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        type = Float8Oid;
        const double d = v.toDouble();
        text = std::isnan(d) ? QByteArray("NaN")
            : std::isinf(d)  ? QByteArray(d > 0 ? "Infinity" : "-Infinity")
                             : QByteArray::number(d, 'g', 17);
        break;
    }
    case QMetaType::QByteArray:
        type = ByteaOid;
        text = "\\x" + v.toByteArray().toHex();
        break;
    default: {
        const QString s = v.toString();
        double d = 0;
        if (likePattern) {
            text = SqlTranslator::likeToRegex(s).toUtf8();
        } else if (numericTarget && tipi::parseNumber(s, &d)) {
            // A quoted amount in the regional form goes into a numeric column as its number.
            type = Float8Oid;
            text = QByteArray::number(d, 'g', 17);
        } else {
            // PostgreSQL text cannot hold a NUL, and libpq would end the value there in silence:
            // the rest of a note must not be lost for one stray byte.
            text = s.toUtf8();
            text.replace('\0', ' ');
        }
    }
    }
    b.values.append(text);
    b.nulls.append(null);
    b.types.append(type);
}

QString typeKey(const QList<Oid> &types)
{
    QString k;
    k.reserve(types.size());
    for (Oid t : types)
        k += QChar(char16_t(t == Int4Oid ? 'i' : t == Int8Oid ? 'l' : t == Float8Oid ? 'd' : t == ByteaOid ? 'b' : 'u'));
    return k;
}

QVariant fieldValue(const PGresult *res, int row, int col, Oid type)
{
    if (PQgetisnull(res, row, col))
        return {};
    const char *v = PQgetvalue(res, row, col);
    const int len = PQgetlength(res, row, col);
    switch (type) {
    case Int2Oid:
    case Int4Oid:
    case Int8Oid:
    case OidOid:
        return QVariant::fromValue<qint64>(QByteArray::fromRawData(v, len).toLongLong());
    case Float4Oid:
    case Float8Oid:
        return QByteArray::fromRawData(v, len).toDouble();
    case NumericOid: {
        // Whole sums (of whole columns) stay whole numbers, as SQLite gives them.
        const QByteArray b = QByteArray::fromRawData(v, len);
        bool ok = false;
        const qint64 whole = b.toLongLong(&ok);
        return ok ? QVariant::fromValue<qint64>(whole) : QVariant(b.toDouble());
    }
    case BoolOid:
        return QVariant::fromValue<qint64>(v[0] == 't' ? 1 : 0);
    case ByteaOid: {
        size_t n = 0;
        unsigned char *raw = PQunescapeBytea(reinterpret_cast<const unsigned char *>(v), &n);
        const QByteArray out(reinterpret_cast<const char *>(raw), qsizetype(n));
        PQfreemem(raw);
        return out;
    }
    default:
        return QString::fromUtf8(v, len);
    }
}

bool numericType(const QString &type)
{
    for (const char *k : {"bigint", "integer", "smallint", "double", "real", "numeric", "serial"})
        if (type.startsWith(QLatin1StringView(k)))
            return true;
    return false;
}

// "?" and "?N" placeholders (SQLite's) as "$N", outside quoted text and names.
QByteArray numbered(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 8);
    int highest = 0;
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            out += c;
        } else if (c == u'\'' || c == u'"') {
            quote = c;
            out += c;
        } else if (c == u'?') {
            qsizetype j = i + 1;
            while (j < sql.size() && sql.at(j).isDigit())
                ++j;
            const int n = j > i + 1 ? sql.mid(i + 1, j - i - 1).toInt() : highest + 1;
            highest = std::max(highest, n);
            out += u'$' + QString::number(n);
            i = j - 1;
        } else {
            out += c;
        }
    }
    return out.toUtf8();
}

int codeOf(const char *state)
{
    if (!state)
        return PgEngine::ConnectionLost;
    const QByteArray s(state);
    if (s == "40001")
        return PgEngine::SerializationFailure;
    if (s == "40P01")
        return PgEngine::Deadlock;
    if (s == "25P02")
        return PgEngine::Aborted;
    // Connection failures, and the server shutting down or starting up.
    if (s.startsWith("08") || s == "57P01" || s == "57P02" || s == "57P03")
        return PgEngine::ConnectionLost;
    return PgEngine::Other;
}

QString quoted(const QString &name)
{
    QString n = name;
    return u'"' + n.replace(u'"', u"\"\""_s) + u'"';
}

} // namespace

PgEngine::~PgEngine()
{
    if (m_conn)
        PQfinish(m_conn);
}

void PgEngine::interrupt()
{
    QMutexLocker lock(&m_connLock);
    if (m_conn && PQsocket(m_conn) >= 0)
        ::shutdown(PQsocket(m_conn), SHUT_RDWR);
}

bool PgEngine::isUri(const QString &path)
{
    return path.startsWith(u"postgresql://"_s, Qt::CaseInsensitive)
        || path.startsWith(u"postgres://"_s, Qt::CaseInsensitive);
}

QString PgEngine::displayUri(const QString &uri)
{
    if (!isUri(uri))
        return uri;
    QUrl url(uri);
    if (!url.isValid())
        return u"postgresql://..."_s;
    QUrlQuery query(url);
    if (query.hasQueryItem(u"password"_s)) {
        query.removeAllQueryItems(u"password"_s);
        url.setQuery(query);
    }
    return url.toString(QUrl::RemovePassword);
}

std::unique_ptr<PgEngine> PgEngine::open(const QString &uri, QString *error)
{
    std::unique_ptr<PgEngine> e(new PgEngine);
    e->m_uri = uri.toUtf8();
    if (!e->connect(error))
        return nullptr;
    return e;
}

bool PgEngine::connect(QString *error)
{
    if (m_conn) {
        pg_conn *old = nullptr;
        {
            QMutexLocker lock(&m_connLock);
            old = std::exchange(m_conn, nullptr);
        }
        PQfinish(old);
    }
    // Defaults before the URI (which may set its own), the encoding after it. A database server
    // that stops answering costs seconds, never a stalled service: connects and sends are
    // bounded, a writer waits at most two seconds for the writer lock (the retries add more), and
    // a server that hangs inside a transaction loses it after a minute instead of blocking every
    // other server.
    const char *keys[] = {"connect_timeout", "application_name", "keepalives_idle", "keepalives_interval",
                          "keepalives_count", "tcp_user_timeout", "options", "dbname", "client_encoding", nullptr};
    const char *values[] = {"5", "plikoserver", "10", "5", "3", "15000",
                            "-c lock_timeout=2000 -c idle_in_transaction_session_timeout=60000",
                            m_uri.constData(), "UTF8", nullptr};
    pg_conn *conn = PQconnectdbParams(keys, values, 1);
    {
        QMutexLocker lock(&m_connLock);
        m_conn = conn;
    }
    m_cache.clear();
    m_nativeCache.clear();
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        const QString why = m_conn ? QString::fromUtf8(PQerrorMessage(m_conn)).trimmed() : u"out of memory"_s;
        *error = u"PostgreSQL: "_s + displayUri(QString::fromUtf8(m_uri)) + u": "_s + why;
        m_lastError = *error;
        m_lastCode = ConnectionLost;
        return false;
    }
    return true;
}

void PgEngine::forgetConnection()
{
    m_cache.clear();
    m_nativeCache.clear();
}

bool PgEngine::fail(int code, const QString &text)
{
    m_lastCode = code;
    m_lastError = text;
    return false;
}

bool PgEngine::failResult(PGresult *res)
{
    const int code = PQstatus(m_conn) != CONNECTION_OK ? int(ConnectionLost)
                                                        : codeOf(PQresultErrorField(res, PG_DIAG_SQLSTATE));
    QString text = QString::fromUtf8(res ? PQresultErrorMessage(res) : PQerrorMessage(m_conn)).trimmed();
    if (text.isEmpty())
        text = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    PQclear(res);
    return fail(code, text);
}

bool PgEngine::ready()
{
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
        return true;
    // A transaction that lost its connection is gone on the server: nothing more may be written
    // as if it went on, until the caller rolls it back.
    if (m_txOpen)
        return fail(ConnectionLost, u"Connessione al database persa durante la transazione"_s);
    QString error;
    if (!connect(&error))
        return false;
    qCInfo(lcPg).noquote() << "connessione al database riaperta:" << displayUri(QString::fromUtf8(m_uri));
    return true;
}

bool PgEngine::exec(const QString &sql)
{
    if (!ready())
        return false;
    PGresult *res = PQexec(m_conn, sql.toUtf8().constData());
    const ExecStatusType st = PQresultStatus(res);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
        return failResult(res);
    PQclear(res);
    return true;
}

bool PgEngine::prepare(Prepared &p, const QByteArray &sql, const QList<Oid> &types)
{
    p.name = "p" + QByteArray::number(++m_nextStatement);
    p.types = types;
    PGresult *res = PQprepare(m_conn, p.name.constData(), sql.constData(), int(types.size()),
                              types.isEmpty() ? nullptr : types.constData());
    if (PQresultStatus(res) != PGRES_COMMAND_OK)
        return failResult(res);
    PQclear(res);
    return true;
}

QString PgEngine::relationName(Oid oid)
{
    if (oid == 0)
        return {};
    auto it = m_relations.constFind(oid);
    if (it != m_relations.constEnd())
        return *it;
    // Known (as nameless) before asking: the catalogue query's own columns come from pg_class.
    m_relations.insert(oid, QString());
    ResultSet rs;
    qint64 n = 0;
    QString name;
    if (runNative(u"SELECT relname FROM pg_class WHERE oid = ?"_s, {QString::number(oid)}, &rs, &n)
        && !rs.rows.isEmpty())
        name = rs.rows[0].value(0).toString();
    m_relations.insert(oid, name);
    return name;
}

bool PgEngine::execute(const Prepared &p, const QList<QByteArray> &values, const QList<bool> &isNull, ResultSet *rows,
                       qint64 *changed)
{
    QList<const char *> ptrs;
    ptrs.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        ptrs.append(isNull[i] ? nullptr : values[i].constData());
    PGresult *res = PQexecPrepared(m_conn, p.name.constData(), int(ptrs.size()), ptrs.constData(), nullptr, nullptr, 0);
    const ExecStatusType st = PQresultStatus(res);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
        return failResult(res);
    if (changed) {
        const char *tuples = PQcmdTuples(res);
        *changed = tuples && *tuples ? QByteArray(tuples).toLongLong() : 0;
    }
    if (rows) {
        const int cols = PQnfields(res);
        const int count = PQntuples(res);
        QList<Oid> types(cols);
        QList<Oid> origins(cols);
        rows->names.clear();
        rows->tables.clear();
        rows->rows.clear();
        rows->rows.reserve(count);
        for (int c = 0; c < cols; ++c) {
            rows->names.append(QString::fromUtf8(PQfname(res, c)));
            types[c] = PQftype(res, c);
            origins[c] = PQftable(res, c);
        }
        for (int r = 0; r < count; ++r) {
            QList<QVariant> row;
            row.reserve(cols);
            for (int c = 0; c < cols; ++c)
                row.append(fieldValue(res, r, c, types[c]));
            rows->rows.append(std::move(row));
        }
        PQclear(res);
        for (int c = 0; c < cols; ++c)
            rows->tables.append(relationName(origins[c]));
        return true;
    }
    PQclear(res);
    return true;
}

bool PgEngine::run(const QString &legacySql, ResultSet *rows, qint64 *changed)
{
    if (!ready())
        return false;
    const SqlTranslator::Split sp = SqlTranslator::split(legacySql);
    if (!sp.ok)
        return fail(Other, u"Sintassi non valida: virgolette o parentesi non chiuse"_s);
    auto tr = m_translations.find(sp.shape);
    if (tr == m_translations.end()) {
        SqlTranslator::Translation t = SqlTranslator::translate(
            sp.shape, SqlTranslator::Dialect::Postgres, [this](const QString &tab, const QString &col) {
                const TableInfo *ti = table(tab);
                const int i = ti ? ti->column(col) : -1;
                return i >= 0 && ti->columns[i].numeric;
            });
        if (!t.error.isEmpty())
            return fail(Other, t.error);
        tr = m_translations.insert(sp.shape, t);
    }
    Bound b;
    for (qsizetype i = 0; i < tr->paramOrder.size(); ++i)
        bind(sp.literals.value(tr->paramOrder[i]), tr->numericTarget.value(i), tr->likePattern.value(i), b);
    const QString key = sp.shape + u'\x1f' + typeKey(b.types);
    auto it = m_cache.find(key);
    if (it == m_cache.end()) {
        Prepared p;
        p.tr = *tr;
        if (!prepare(p, tr->sql, b.types))
            return false;
        it = m_cache.insert(key, p);
    }
    return execute(*it, b.values, b.nulls, rows, changed);
}

bool PgEngine::runNative(const QString &sql, const QList<QVariant> &values, ResultSet *rows, qint64 *changed)
{
    if (!ready())
        return false;
    // Schema changes take no parameters and are not worth preparing.
    if (values.isEmpty() && !rows) {
        static const QRegularExpression utility(u"^\\s*(CREATE|ALTER|DROP|SET|DEALLOCATE)\\b"_s,
                                                QRegularExpression::CaseInsensitiveOption);
        if (utility.match(sql).hasMatch()) {
            if (changed)
                *changed = 0;
            return exec(sql);
        }
    }
    Bound b;
    for (const QVariant &v : values)
        bind(v, false, false, b);
    const QString key = sql + u'\x1f' + typeKey(b.types);
    auto it = m_nativeCache.find(key);
    if (it == m_nativeCache.end()) {
        Prepared p;
        if (!prepare(p, numbered(sql), b.types))
            return false;
        it = m_nativeCache.insert(key, p);
    }
    return execute(*it, b.values, b.nulls, rows, changed);
}

void PgEngine::invalidateCatalogue()
{
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
        PQclear(PQexec(m_conn, "DEALLOCATE ALL"));
    m_cache.clear();
    m_nativeCache.clear();
    m_translations.clear();
    m_tables.clear();
    m_texts.clear();
}

QStringList PgEngine::tableNames()
{
    ResultSet rs;
    qint64 n = 0;
    QStringList out;
    if (runNative(u"SELECT c.relname FROM pg_class c JOIN pg_namespace s ON s.oid = c.relnamespace "
                  "WHERE c.relkind IN ('r', 'p') AND s.nspname = current_schema() ORDER BY 1"_s,
                  {}, &rs, &n))
        for (const auto &r : rs.rows)
            out.append(r.value(0).toString());
    return out;
}

const TableInfo *PgEngine::table(const QString &name)
{
    const QString key = name.toUpper();
    auto it = m_tables.constFind(key);
    if (it != m_tables.constEnd())
        return &*it;
    ResultSet rs;
    qint64 n = 0;
    if (!runNative(u"SELECT c.oid, c.relname FROM pg_class c JOIN pg_namespace s ON s.oid = c.relnamespace "
                   "WHERE c.relkind IN ('r', 'p') AND s.nspname = current_schema() AND lower(c.relname) = lower(?) "
                   "ORDER BY c.relname = ? DESC LIMIT 1"_s,
                   {name, name}, &rs, &n)
        || rs.rows.isEmpty())
        return nullptr;
    const QString oid = rs.rows[0].value(0).toString();
    TableInfo ti;
    ti.name = rs.rows[0].value(1).toString();
    ResultSet cols;
    if (!runNative(u"SELECT a.attname, format_type(a.atttypid, a.atttypmod), "
                   "coalesce(pg_get_serial_sequence(quote_ident(c.relname), a.attname), ''), "
                   "EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = a.attrelid AND i.indisprimary "
                   "AND a.attnum = ANY (i.indkey)) "
                   "FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
                   "WHERE a.attrelid = ?::oid AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"_s,
                   {oid}, &cols, &n))
        return nullptr;
    for (const auto &r : cols.rows) {
        ColumnInfo c{r.value(0).toString(), r.value(1).toString(), numericType(r.value(1).toString()),
                     r.value(3).toLongLong() != 0};
        const QString sequence = r.value(2).toString();
        if (!sequence.isEmpty() && ti.counter.isEmpty()) {
            ti.counter = c.name;
            ti.sequence = sequence;
        }
        ti.columns.append(c);
        ti.columnNames.append(c.name);
        ti.columnTables.append(ti.name);
    }
    ResultSet idx;
    if (runNative(u"SELECT ic.relname, a.attname, i.indisprimary FROM pg_index i "
                  "JOIN pg_class ic ON ic.oid = i.indexrelid "
                  "JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = i.indkey[0] "
                  "WHERE i.indrelid = ?::oid"_s,
                  {oid}, &idx, &n)) {
        // Index names carry their table's name first, as on SQLite; the logical name is the rest.
        const QString prefix = ti.name.toUpper() + u'_';
        for (const auto &r : idx.rows) {
            QString logical = r.value(0).toString().toUpper();
            if (r.value(2).toLongLong() != 0)
                logical = u"PRIMARYKEY"_s;
            else if (logical.startsWith(prefix))
                logical = logical.mid(prefix.size());
            ti.indexColumns.insert(logical, r.value(1).toString());
        }
    }
    return &*m_tables.insert(key, ti);
}

bool PgEngine::reserveCounter(const TableInfo &t, qint64 *key)
{
    // The sequence hands out keys no other server gets, inside a transaction or not. A key the
    // back office wrote by hand past the sequence moves the sequence on.
    ResultSet rs;
    qint64 n = 0;
    if (!runNative(u"SELECT nextval(?::regclass), (SELECT coalesce(max("_s + quoted(t.counter) + u"), 0) FROM "_s
                       + quoted(t.name) + u')',
                   {t.sequence}, &rs, &n)
        || rs.rows.isEmpty())
        return false;
    *key = rs.rows[0].value(0).toLongLong();
    const qint64 highest = rs.rows[0].value(1).toLongLong();
    if (*key > highest)
        return true;
    *key = highest + 1;
    return runNative(u"SELECT setval(?::regclass, ?)"_s, {t.sequence, *key}, &rs, &n);
}

bool PgEngine::beginWrite()
{
    if (!exec(u"BEGIN"_s))
        return false;
    m_txOpen = true;
    ResultSet rs;
    qint64 n = 0;
    if (runNative(u"SELECT pg_advisory_xact_lock(?)"_s, {WriterLockKey}, &rs, &n))
        return true;
    const QString why = m_lastError;
    const int code = m_lastCode;
    rollback();
    return fail(code, why);
}

bool PgEngine::beginRead()
{
    if (!exec(u"BEGIN ISOLATION LEVEL REPEATABLE READ"_s))
        return false;
    m_txOpen = true;
    return true;
}

bool PgEngine::commit()
{
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        m_txOpen = false;
        return fail(ConnectionLost, u"Connessione al database persa: transazione non confermata"_s);
    }
    PGresult *res = PQexec(m_conn, "COMMIT");
    if (PQresultStatus(res) != PGRES_COMMAND_OK) {
        m_txOpen = PQtransactionStatus(m_conn) == PQTRANS_INTRANS || PQtransactionStatus(m_conn) == PQTRANS_INERROR;
        return failResult(res);
    }
    // A transaction that had failed ends in a rollback even when asked to commit.
    const bool committed = qstrcmp(PQcmdStatus(res), "COMMIT") == 0;
    PQclear(res);
    m_txOpen = false;
    return committed || fail(Aborted, u"Transazione annullata dal database"_s);
}

bool PgEngine::rollback()
{
    m_txOpen = false;
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return true; // the server dropped the transaction with the connection
    PGresult *res = PQexec(m_conn, "ROLLBACK");
    if (PQresultStatus(res) != PGRES_COMMAND_OK)
        return failResult(res);
    PQclear(res);
    return true;
}

bool PgEngine::inTransaction() const
{
    return m_txOpen;
}

bool PgEngine::retryable() const
{
    // Inside a transaction a failed statement has ended it: only the whole transaction can be
    // tried again, by its caller.
    return !m_txOpen;
}
