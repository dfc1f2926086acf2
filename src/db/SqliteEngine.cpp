// SPDX-License-Identifier: GPL-3.0-or-later
#include "SqliteEngine.h"

#include "modGestioneTipiDato.h"

#include <QFileInfo>
#include <cstring>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// A locked database is waited out this long inside one attempt; the caller's retries add more.
constexpr int BusyTimeoutMs = 1000;

void chrFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const qint64 code = sqlite3_value_int64(argv[0]);
    if (code < 0 || code > 0x10FFFF) {
        sqlite3_result_null(ctx);
        return;
    }
    const char32_t ch = char32_t(code);
    const QByteArray utf8 = QString::fromUcs4(&ch, 1).toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

QString valueText(sqlite3_value *v)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(v));
    return QString::fromUtf8(text, sqlite3_value_bytes(v));
}

// "x LIKE pattern [ESCAPE c]" with the legacy engine's wildcards (SqlTranslator::jetLike); SQLite
// calls like(pattern, x [, c]). Null on either side gives null, as SQLite's own LIKE does.
void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    QChar escape;
    if (argc == 3) {
        const QString e = valueText(argv[2]);
        if (e.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = e.at(0);
    }
    sqlite3_result_int(ctx, SqlTranslator::jetLike(valueText(argv[0]), valueText(argv[1]), escape) ? 1 : 0);
}

bool numericType(const QString &type)
{
    const QString t = type.toUpper();
    for (const char *k : {"INT", "REAL", "FLOA", "DOUB", "NUM", "DEC", "CURR", "MONEY", "BOOL"})
        if (t.contains(QLatin1StringView(k)))
            return true;
    return false;
}

QVariant columnValue(sqlite3_stmt *st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
        return QVariant::fromValue<qint64>(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(st, i);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i)),
                                 sqlite3_column_bytes(st, i));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i));
    default:
        return {};
    }
}

// Texts are bound in place (SQLite copies nothing) from a buffer that each run fills from its start:
// a statement reads its parameters only while it runs, and every parameter is bound again before
// it runs next. A text that no longer fits is copied by SQLite, as before.
struct BoundTexts
{
    char *bytes;
    qsizetype size;
    qsizetype used = 0;

    int bind(sqlite3_stmt *st, int pos, const char *text, qsizetype n)
    {
        if (n == 0)
            return sqlite3_bind_text(st, pos, "", 0, SQLITE_STATIC);
        if (n > size - used)
            return sqlite3_bind_text(st, pos, text, int(n), SQLITE_TRANSIENT);
        char *at = bytes + used;
        if (text != at)
            std::memcpy(at, text, size_t(n));
        used += n;
        return sqlite3_bind_text(st, pos, at, int(n), SQLITE_STATIC);
    }
};

int bindValue(sqlite3_stmt *st, int pos, const QVariant &v, bool numericTarget, BoundTexts &texts)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return sqlite3_bind_null(st, pos);
    case QMetaType::Bool:
        return sqlite3_bind_int64(st, pos, v.toBool() ? -1 : 0);
    // The common kinds are read straight from the variant, without its conversion machinery.
    case QMetaType::Int:
        return sqlite3_bind_int64(st, pos, *static_cast<const int *>(v.constData()));
    case QMetaType::LongLong:
        return sqlite3_bind_int64(st, pos, *static_cast<const qlonglong *>(v.constData()));
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::Long:
        return sqlite3_bind_int64(st, pos, v.toLongLong());
    case QMetaType::Double:
        return sqlite3_bind_double(st, pos, *static_cast<const double *>(v.constData()));
    case QMetaType::Float:
        return sqlite3_bind_double(st, pos, v.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        return sqlite3_bind_blob(st, pos, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
    default: {
        const QString s = v.typeId() == QMetaType::QString ? *static_cast<const QString *>(v.constData())
                                                           : v.toString();
        double d = 0;
        // A quoted amount written in the regional form goes into a numeric column as its number,
        // as the legacy engine converted it.
        if (numericTarget && tipi::parseNumber(s, &d))
            return sqlite3_bind_double(st, pos, d);
        // Most texts bound are short and plain ASCII (codes, names, units): narrowed straight into
        // the buffer rather than through an allocated UTF-8 copy.
        if (s.size() <= texts.size - texts.used) {
            char *at = texts.bytes + texts.used;
            qsizetype i = 0;
            for (; i < s.size() && s.at(i).unicode() < 0x80; ++i)
                at[i] = char(s.at(i).unicode());
            if (i == s.size())
                return texts.bind(st, pos, at, i);
        }
        const QByteArray u = s.toUtf8();
        return texts.bind(st, pos, u.constData(), u.size());
    }
    }
}

} // namespace

void SqliteEngine::interrupt()
{
    // Safe from any thread while the connection is open (its owner keeps it so).
    sqlite3_interrupt(m_db);
}

SqliteEngine::~SqliteEngine()
{
    for (auto &[shape, p] : m_cache)
        sqlite3_finalize(p.stmt);
    for (auto *s : m_nativeCache)
        sqlite3_finalize(s);
    if (m_db)
        sqlite3_close_v2(m_db);
}

std::unique_ptr<SqliteEngine> SqliteEngine::open(const QString &path, bool create, QString *error)
{
    if (!create && !QFileInfo::exists(path)) {
        *error = u"File non trovato: "_s + path;
        return nullptr;
    }
    // SQLite's allocation statistics take a process-wide lock on every allocation, and nothing here
    // reads them. Set before SQLite starts; ignored (SQLITE_MISUSE) if it has started already.
    static const bool noStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    Q_UNUSED(noStatistics);
    std::unique_ptr<SqliteEngine> e(new SqliteEngine);
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.toUtf8().constData(), &e->m_db, flags, nullptr) != SQLITE_OK) {
        *error = e->m_db ? QString::fromUtf8(sqlite3_errmsg(e->m_db)) : u"out of memory"_s;
        return nullptr;
    }
    sqlite3_extended_result_codes(e->m_db, 0);
    sqlite3_busy_timeout(e->m_db, BusyTimeoutMs);
    sqlite3_create_function(e->m_db, "chr", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, chrFunction,
                            nullptr, nullptr);
    for (int args : {2, 3})
        sqlite3_create_function(e->m_db, "like", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, likeFunction,
                                nullptr, nullptr);
    // WAL with synchronous FULL: a committed order survives a power cut, and readers (the back
    // office) never block the server's writes.
    ResultSet probe;
    qint64 changed = 0;
    if (!e->runNative(u"PRAGMA journal_mode=WAL"_s, {}, &probe, &changed)
        || !e->runNative(u"PRAGMA synchronous=FULL"_s, {}, &probe, &changed)
        || !e->runNative(u"SELECT count(*) FROM sqlite_master"_s, {}, &probe, &changed)) {
        *error = e->m_lastError;
        return nullptr;
    }
    return e;
}

bool SqliteEngine::fail(const QString &what)
{
    m_lastCode = m_db ? sqlite3_errcode(m_db) : -1;
    m_lastError = what.isEmpty() ? QString::fromUtf8(sqlite3_errmsg(m_db)) : what;
    return false;
}

sqlite3_stmt *SqliteEngine::prepare(const QByteArray &sql)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr)
        != SQLITE_OK) {
        fail({});
        sqlite3_finalize(st);
        return nullptr;
    }
    return st;
}

bool SqliteEngine::execute(sqlite3_stmt *st, const QList<QVariant> &values, const QList<int> *order,
                           const QList<bool> *numeric, ResultSet *rows, qint64 *changed, const Prepared *known)
{
    static const QVariant none;
    // Every parameter is bound each time (to null when no value is given), so nothing of the
    // statement's last run is left to clear.
    const int count = sqlite3_bind_parameter_count(st);
    BoundTexts texts{m_boundTexts.data(), qsizetype(m_boundTexts.size())};
    for (int i = 0; i < count; ++i) {
        const int src = order ? order->value(i, -1) : i;
        const QVariant &v = src >= 0 && src < values.size() ? values[src] : none;
        if (bindValue(st, i + 1, v, numeric && numeric->value(i, false), texts) != SQLITE_OK) {
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
            return fail({});
        }
    }
    const int cols = sqlite3_column_count(st);
    if (rows && known) {
        rows->rows.clear();
        rows->names = known->names;
        rows->tables = known->tables;
    } else if (rows) {
        rows->rows.clear();
        rows->names.clear();
        rows->tables.clear();
        for (int c = 0; c < cols; ++c) {
            rows->names.append(QString::fromUtf8(sqlite3_column_name(st, c)));
            const char *tab = sqlite3_column_table_name(st, c);
            rows->tables.append(tab ? QString::fromUtf8(tab) : QString());
        }
    }
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (!rows)
            continue;
        QList<QVariant> row;
        row.reserve(cols);
        for (int c = 0; c < cols; ++c)
            row.append(columnValue(st, c));
        rows->rows.append(std::move(row));
    }
    const bool ok = rc == SQLITE_DONE;
    if (!ok)
        fail({});
    else if (changed)
        *changed = sqlite3_changes64(m_db);
    sqlite3_reset(st);
    return ok;
}

bool SqliteEngine::run(const QString &legacySql, ResultSet *rows, qint64 *changed)
{
    // Only short statements are kept (the per-line ones are), KeptStatements of them: within a few
    // megabytes whatever is sent. Past the bound the oldest goes for each new one, so a statement
    // kept for its literals (an order's key) leaves without the hot ones, and what is held stays level.
    constexpr qsizetype LongestKept = 512;
    SqlTranslator::Split once;
    Known *known = nullptr;
    if (legacySql.size() > LongestKept) {
        once = SqlTranslator::split(legacySql);
    } else {
        auto it = m_splits.find(legacySql);
        if (it == m_splits.end()) {
            if (m_splitOrder.size() < KeptStatements) {
                m_splitOrder.append(legacySql);
            } else {
                QString &oldest = m_splitOrder[m_oldestSplit];
                m_splits.remove(oldest);
                oldest = legacySql;
                m_oldestSplit = (m_oldestSplit + 1) % KeptStatements;
            }
            it = m_splits.insert(legacySql, {SqlTranslator::split(legacySql), nullptr});
        }
        known = &*it;
    }
    const SqlTranslator::Split &sp = known ? known->split : once;
    if (!sp.ok)
        return fail(u"Sintassi non valida: virgolette o parentesi non chiuse"_s);
    Prepared *p = known ? known->prepared : nullptr;
    if (!p) {
        p = preparedFor(sp.shape);
        if (!p)
            return false;
        if (known)
            known->prepared = p;
    }
    return execute(p->stmt, sp.literals, &p->tr.paramOrder, &p->tr.numericTarget, rows, changed, p);
}

SqliteEngine::Prepared *SqliteEngine::preparedFor(const QString &shape)
{
    auto it = m_cache.find(shape);
    if (it != m_cache.end())
        return &it->second;
    Prepared p;
    p.tr = SqlTranslator::translate(shape, SqlTranslator::Dialect::Sqlite, [this](const QString &t, const QString &c) {
        const TableInfo *ti = table(t);
        const int i = ti ? ti->column(c) : -1;
        return i >= 0 && ti->columns[i].numeric;
    });
    if (!p.tr.error.isEmpty()) {
        fail(p.tr.error);
        return nullptr;
    }
    p.stmt = prepare(p.tr.sql);
    if (!p.stmt)
        return nullptr;
    for (int c = 0; c < sqlite3_column_count(p.stmt); ++c) {
        p.names.append(QString::fromUtf8(sqlite3_column_name(p.stmt, c)));
        const char *tab = sqlite3_column_table_name(p.stmt, c);
        p.tables.append(tab ? QString::fromUtf8(tab) : QString());
    }
    return &m_cache.emplace(shape, std::move(p)).first->second;
}

bool SqliteEngine::runNative(const QString &sql, const QList<QVariant> &values, ResultSet *rows, qint64 *changed)
{
    sqlite3_stmt *st = m_nativeCache.value(sql);
    if (!st) {
        st = prepare(sql.toUtf8());
        if (!st)
            return false;
        m_nativeCache.insert(sql, st);
    }
    return execute(st, values, nullptr, nullptr, rows, changed);
}

void SqliteEngine::invalidateCatalogue()
{
    for (auto &[shape, p] : m_cache)
        sqlite3_finalize(p.stmt);
    m_cache.clear();
    m_splits.clear(); // they point into the statements just finalised
    m_splitOrder.clear();
    m_oldestSplit = 0;
    for (auto *s : m_nativeCache)
        sqlite3_finalize(s);
    m_nativeCache.clear();
    m_tables.clear();
    m_tableKeys.clear();
    m_texts.clear();
}

QStringList SqliteEngine::tableNames()
{
    ResultSet rs;
    qint64 n = 0;
    QStringList out;
    if (runNative(u"SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'"_s, {}, &rs, &n))
        for (const auto &r : rs.rows)
            out.append(r.value(0).toString());
    return out;
}

const TableInfo *SqliteEngine::table(const QString &name)
{
    // Callers spell a table the same way every time: its upper-cased key is made once per spelling.
    auto spelt = m_tableKeys.constFind(name);
    if (spelt == m_tableKeys.constEnd()) {
        if (m_tableKeys.size() > 1000) // names from statements no code spells (a console's)
            m_tableKeys.clear();
        spelt = m_tableKeys.insert(name, name.toUpper());
    }
    const QString key = *spelt;
    auto it = m_tables.constFind(key);
    if (it != m_tables.constEnd())
        return &*it;
    ResultSet rs;
    qint64 n = 0;
    if (!runNative(u"SELECT name, sql FROM sqlite_master WHERE type='table' AND upper(name)=upper(?)"_s,
                   {name}, &rs, &n) || rs.rows.isEmpty())
        return nullptr;
    TableInfo ti;
    ti.name = rs.rows[0].value(0).toString();
    const bool autoinc = rs.rows[0].value(1).toString().contains(u"AUTOINCREMENT"_s, Qt::CaseInsensitive);
    ResultSet cols;
    if (!runNative(u"SELECT name, type, pk FROM pragma_table_info(?)"_s, {ti.name}, &cols, &n))
        return nullptr;
    for (const auto &r : cols.rows) {
        ColumnInfo c{r.value(0).toString(), r.value(1).toString(), numericType(r.value(1).toString()),
                     r.value(2).toInt() > 0};
        if (c.primaryKey && autoinc)
            ti.counter = c.name;
        ti.columns.append(c);
        ti.columnNames.append(c.name);
        ti.columnTables.append(ti.name);
    }
    ResultSet idx;
    if (runNative(u"SELECT il.name, ii.name FROM pragma_index_list(?1) il, pragma_index_info(il.name) ii "
                  "WHERE ii.seqno = 0"_s,
                  {ti.name}, &idx, &n)) {
        const QString prefix = ti.name.toUpper() + u'_';
        for (const auto &r : idx.rows) {
            QString logical = r.value(0).toString().toUpper();
            if (logical.startsWith(prefix))
                logical = logical.mid(prefix.size());
            ti.indexColumns.insert(logical, r.value(1).toString());
        }
    }
    for (const auto &c : ti.columns)
        if (c.primaryKey && !ti.indexColumns.contains(u"PRIMARYKEY"_s))
            ti.indexColumns.insert(u"PRIMARYKEY"_s, c.name);
    return &*m_tables.insert(key, ti);
}

bool SqliteEngine::reserveCounter(const TableInfo &t, qint64 *key)
{
    ResultSet rs;
    qint64 n = 0;
    // Inside a transaction the write lock is ours: after a table's first key, the next one follows
    // from the last without reading the file again, and the counter is written once, at the commit
    // (a key reserved and never used stays used, as the legacy engine's did).
    auto it = m_reserved.find(t.name);
    if (inTransaction() && it != m_reserved.end() && it->live) {
        *key = ++it->last;
        it->written = false;
        return true;
    }
    if (it == m_reserved.end() || it->counter != t.counter) {
        Reserved r;
        r.counter = t.counter;
        r.nextKey = u"SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = ?1), 0), "
                    "coalesce((SELECT max(\""_s + t.counter + u"\") FROM \""_s + t.name + u"\"), 0)) + 1"_s;
        it = m_reserved.insert(t.name, std::move(r));
    }
    if (!runNative(it->nextKey, {t.name}, &rs, &n) || rs.rows.isEmpty())
        return false;
    *key = rs.rows[0].value(0).toLongLong();
    if (!runNative(u"UPDATE sqlite_sequence SET seq = ?2 WHERE name = ?1"_s, {t.name, *key}, nullptr, &n))
        return false;
    if (n == 0 && !runNative(u"INSERT INTO sqlite_sequence(name, seq) VALUES(?1, ?2)"_s, {t.name, *key}, nullptr, &n))
        return false;
    it->last = *key;
    it->written = true;
    it->live = inTransaction();
    return true;
}

bool SqliteEngine::writeReservedCounters()
{
    qint64 n = 0;
    for (auto it = m_reserved.begin(); it != m_reserved.end(); ++it) {
        if (!it->live || it->written)
            continue;
        // An insert of a larger key has moved the counter already; max() never moves it back.
        if (!runNative(u"UPDATE sqlite_sequence SET seq = max(seq, ?2) WHERE name = ?1"_s, {it.key(), it->last},
                       nullptr, &n))
            return false;
        it->written = true;
    }
    return true;
}

void SqliteEngine::forgetReserved()
{
    // The entries stay (with their statement text) for the next transaction; their keys do not.
    for (Reserved &r : m_reserved)
        r.live = false;
}

bool SqliteEngine::beginWrite()
{
    // IMMEDIATE takes the write lock now, so the order's writes cannot fail half-way for a lock.
    qint64 n = 0;
    forgetReserved();
    return runNative(u"BEGIN IMMEDIATE"_s, {}, nullptr, &n);
}

bool SqliteEngine::beginRead()
{
    qint64 n = 0;
    return runNative(u"BEGIN DEFERRED"_s, {}, nullptr, &n);
}

bool SqliteEngine::commit()
{
    qint64 n = 0;
    if (!writeReservedCounters() || !runNative(u"COMMIT"_s, {}, nullptr, &n))
        return false;
    forgetReserved();
    return true;
}

bool SqliteEngine::rollback()
{
    qint64 n = 0;
    forgetReserved();
    return runNative(u"ROLLBACK"_s, {}, nullptr, &n);
}

bool SqliteEngine::diskTrouble(int code) const
{
    switch (code) {
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
        return true;
    default:
        return false;
    }
}

bool SqliteEngine::inTransaction() const
{
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}
