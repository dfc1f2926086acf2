// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-sql: runs legacy-dialect statements against a restaurant database through clsDatabase.
//   pliko-sql [--create [--demo]] DATABASE [STATEMENT]
// Without STATEMENT, statements are read one per line from standard input. A statement that fails
// prints its error once, on standard error (the database class's own fault log is kept quiet).
#include "ErrorRoutine.h"
#include "RestaurantSchema.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

bool isQuery(const QString &sql)
{
    const QString t = sql.trimmed();
    QString s = t;
    while (s.startsWith(u'('))
        s = s.mid(1).trimmed();
    return s.startsWith(u"SELECT"_s, Qt::CaseInsensitive);
}

bool runOne(clsDatabase &db, const QString &sql, QTextStream &out, QTextStream &err)
{
    if (sql.trimmed().isEmpty())
        return true;
    if (isQuery(sql)) {
        auto rs = db.openSnapshot(sql);
        if (!rs) {
            err << db.lastErrorText() << Qt::endl;
            return false;
        }
        QStringList header;
        for (int i = 0; i < rs->fieldCount(); ++i)
            header << rs->fieldName(i);
        out << header.join(u'\t') << '\n';
        for (; !rs->isEOF(); rs->moveNext()) {
            QStringList row;
            for (int i = 0; i < rs->fieldCount(); ++i)
                row << tipi::toText(rs->value(i));
            out << row.join(u'\t') << '\n';
        }
        out.flush();
        return true;
    }
    if (!db.doQuery(sql)) {
        err << db.lastErrorText() << Qt::endl;
        return false;
    }
    out << db.lastChanged() << Qt::endl;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The shell tells each failure itself; the fault log would print it a second time.
    QLoggingCategory::setFilterRules(u"pliko.fault.critical=false"_s);
    diagnostics::setFaultHandler({});
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    bool create = false;
    bool demo = false;
    while (!args.isEmpty() && args.first().startsWith(u"--"_s)) {
        const QString a = args.takeFirst();
        if (a == u"--create"_s)
            create = true;
        else if (a == u"--demo"_s)
            demo = true;
        else if (a == u"--help"_s) {
            out << "usage: pliko-sql [--create [--demo]] DATABASE [STATEMENT]\n";
            return 0;
        } else {
            err << "pliko-sql: unknown option " << a << Qt::endl;
            return 1;
        }
    }
    if (args.isEmpty()) {
        err << "usage: pliko-sql [--create [--demo]] DATABASE [STATEMENT]" << Qt::endl;
        return 1;
    }
    const QString path = args.takeFirst();
    if (create) {
        QString error;
        if (!schema::createDatabase(path, demo, &error)) {
            err << error << Qt::endl;
            return 1;
        }
    }
    clsDatabase db;
    db.setRetryDelay(std::chrono::milliseconds(200));
    db.setYieldBeforeStatements(false);
    if (!db.openDB(path)) {
        err << "Database non trovato: " << db.lastErrorText() << Qt::endl;
        return 1;
    }
    bool ok = true;
    if (!args.isEmpty()) {
        ok = runOne(db, args.join(u' '), out, err);
    } else if (!create || !args.isEmpty()) {
        QTextStream in(stdin);
        QString line;
        while (in.readLineInto(&line))
            ok = runOne(db, line, out, err) && ok;
    }
    db.closeDB();
    return ok ? 0 : 1;
}
