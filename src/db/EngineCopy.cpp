// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineCopy.h"

#include "PgEngine.h"
#include "RestaurantSchema.h"
#include "SqliteEngine.h"

using namespace Qt::StringLiterals;

namespace engines {

namespace {
QString quoted(const QString &name)
{
    QString n = name;
    return u'"' + n.replace(u'"', u"\"\""_s) + u'"';
}
} // namespace

std::unique_ptr<DbEngine> open(const QString &path, QString *error)
{
    if (PgEngine::isUri(path))
        return PgEngine::open(path, error);
    return SqliteEngine::open(path, false, error);
}

bool copy(const QString &from, const QString &to, QString *notes, QString *error)
{
    auto source = open(from, error);
    if (!source)
        return false;
    if (!schema::createDatabase(to, false, error))
        return false;
    auto target = open(to, error);
    if (!target)
        return false;
    if (!target->beginWrite()) {
        *error = target->lastError();
        return false;
    }
    auto failed = [&](const QString &why) {
        *error = why;
        target->rollback();
        return false;
    };
    const QStringList targetTables = target->tableNames();
    for (const QString &name : source->tableNames()) {
        const TableInfo *s = source->table(name);
        const TableInfo *t = target->table(name);
        if (!s || !t) {
            if (s && !targetTables.contains(name, Qt::CaseInsensitive))
                *notes += u"tabella non copiata (assente nella destinazione): "_s + name + u'\n';
            continue;
        }
        QStringList sourceCols;
        QStringList targetCols;
        QStringList marks;
        for (const ColumnInfo &c : s->columns) {
            const int i = t->column(c.name);
            if (i < 0) {
                *notes += u"colonna non copiata: "_s + name + u'.' + c.name + u'\n';
                continue;
            }
            sourceCols.append(quoted(c.name));
            targetCols.append(quoted(t->columns[i].name));
            marks.append(u"?"_s);
        }
        if (sourceCols.isEmpty())
            continue;
        ResultSet rows;
        qint64 n = 0;
        if (!source->runNative(u"SELECT "_s + sourceCols.join(u", "_s) + u" FROM "_s + quoted(s->name), {}, &rows, &n))
            return failed(name + u": "_s + source->lastError());
        const QString insert = u"INSERT INTO "_s + quoted(t->name) + u" ("_s + targetCols.join(u", "_s)
            + u") VALUES ("_s + marks.join(u", "_s) + u')';
        for (const auto &row : rows.rows)
            if (!target->runNative(insert, row, nullptr, &n))
                return failed(name + u": "_s + target->lastError());
    }
    if (!schema::advanceCounters(*target, error)) {
        target->rollback();
        return false;
    }
    if (!target->commit()) {
        *error = target->lastError();
        return false;
    }
    return true;
}

} // namespace engines
