// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-sql: runs legacy-dialect statements against a restaurant database through clsDatabase.
//   pliko-sql [--create [--demo]] DATABASE [STATEMENT]
//   pliko-sql --copy SOURCE DESTINATION
// DATABASE is a SQLite file or a PostgreSQL URI ("postgresql://user@host/dbname").
// Without STATEMENT, statements are read one per line from standard input. A statement that fails
// prints its error once, on standard error (the database class's own fault log is kept quiet).
#include "EngineCopy.h"
#include "ErrorRoutine.h"
#include "RestaurantSchema.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QCommandLineParser>
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
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIKO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Runs statements of the legacy dialect against a restaurant database, from the argument or one per "
        "line from standard input."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption createOption(u"create"_s, u"Create the database with the restaurant schema first."_s);
    const QCommandLineOption demoOption(u"demo"_s, u"With --create: add the demo restaurant."_s);
    const QCommandLineOption copyOption(
        u"copy"_s, u"Copy the whole restaurant of DATABASE into the new database DESTINATION (a file or URI)."_s);
    parser.addOption(createOption);
    parser.addOption(demoOption);
    parser.addOption(copyOption);
    parser.addPositionalArgument(u"database"_s,
                                 u"The database file, or a PostgreSQL URI (postgresql://user@host/dbname)."_s);
    parser.addPositionalArgument(u"statement"_s, u"The statement to run (standard input without it)."_s, u"[STATEMENT]"_s);
    // A statement's own words ("-1", "--" comments) are not options of this program.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(app.arguments())) {
        err << "pliko-sql: " << parser.errorText() << Qt::endl;
        return 1;
    }
    if (parser.isSet(u"help"_s)) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(u"version"_s)) {
        out << "pliko-sql " << QCoreApplication::applicationVersion() << Qt::endl;
        return 0;
    }
    const bool create = parser.isSet(createOption);
    const bool demo = parser.isSet(demoOption);
    QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        err << "usage: pliko-sql [--create [--demo]] DATABASE [STATEMENT] | --copy SOURCE DESTINATION" << Qt::endl;
        return 1;
    }
    const QString path = args.takeFirst();
    if (parser.isSet(copyOption)) {
        if (args.size() != 1 || create) {
            err << "usage: pliko-sql --copy SOURCE DESTINATION" << Qt::endl;
            return 1;
        }
        QString notes;
        QString error;
        const bool copied = engines::copy(path, args.first(), &notes, &error);
        err << notes;
        if (!copied) {
            err << "Copia non riuscita: " << error << Qt::endl;
            return 1;
        }
        out << "Copia completata" << Qt::endl;
        return 0;
    }
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
