// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-sql: runs legacy-dialect statements against a restaurant database through clsDatabase.
//   pliko-sql [--create [--demo]] DATABASE [STATEMENT]
//   pliko-sql --copy SOURCE DESTINATION
//   pliko-sql --backup DATABASE FOLDER [--keep N]
// DATABASE is a SQLite file or a PostgreSQL URI ("postgresql://user@host/dbname").
// Without STATEMENT, statements are read one per line from standard input. A statement that fails
// prints its error once, on standard error (the database class's own fault log is kept quiet).
#include "EngineCopy.h"
#include "ErrorRoutine.h"
#include "RestaurantSchema.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include "../ToolHelp.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTextStream>
#include <cstdio>
#include <sqlite3.h>

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

// SQLite's online backup: a consistent copy of a database that the server keeps writing (WAL lets
// it write on while the copy reads).
bool backupSqlite(const QString &from, const QString &to, QString *error)
{
    sqlite3 *source = nullptr;
    sqlite3 *target = nullptr;
    bool ok = sqlite3_open_v2(QFile::encodeName(from).constData(), &source, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
              && sqlite3_open_v2(QFile::encodeName(to).constData(), &target,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_busy_timeout(source, 10000);
        sqlite3_backup *copy = sqlite3_backup_init(target, "main", source, "main");
        int rc = SQLITE_OK;
        if (copy) {
            for (int tries = 0; tries < 100; ++tries) {
                rc = sqlite3_backup_step(copy, -1);
                if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
                    break;
                sqlite3_sleep(100);
            }
            sqlite3_backup_finish(copy);
        }
        ok = copy && rc == SQLITE_DONE;
        if (!ok)
            *error = QString::fromUtf8(sqlite3_errmsg(target));
    } else {
        *error = QString::fromUtf8(sqlite3_errmsg(target ? target : source));
    }
    sqlite3_close(source);
    sqlite3_close(target);
    return ok;
}

// The copy is named by date and time in FOLDER; of the copies of this database only the newest
// `keep` stay.
int backup(const QString &database, const QString &folder, int keep, QTextStream &out, QTextStream &err)
{
    const bool postgres = database.startsWith(u"postgresql://"_s) || database.startsWith(u"postgres://"_s);
    if (!postgres && !QFileInfo(database).isFile()) {
        err << "Database non trovato: " << database << Qt::endl;
        return 1;
    }
    if (!QDir().mkpath(folder)) {
        err << "Cartella dei backup non creata: " << folder << Qt::endl;
        return 1;
    }
    const QString base = postgres ? u"restaurant"_s : QFileInfo(database).completeBaseName();
    const QString target = QDir(folder).filePath(
        base + u'-' + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s) + u".db"_s);
    // Written under a temporary name: an interrupted copy never looks like a backup.
    const QString partial = target + u".part"_s;
    QFile::remove(partial);
    QString error;
    QString notes;
    const bool ok = postgres ? engines::copy(database, partial, &notes, &error) : backupSqlite(database, partial, &error);
    if (!ok || !QFile::rename(partial, target)) {
        QFile::remove(partial);
        err << "Backup non riuscito: " << (error.isEmpty() ? target : error) << Qt::endl;
        return 1;
    }
    const QString digits8 = u"[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]"_s;
    QStringList copies =
        QDir(folder).entryList({base + u'-' + digits8 + u'-' + digits8.left(30) + u".db"_s}, QDir::Files, QDir::Name);
    while (copies.size() > keep)
        QFile::remove(QDir(folder).filePath(copies.takeFirst()));
    out << "Backup completato: " << target << Qt::endl;
    return 0;
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
        u"Esegue istruzioni nel dialetto storico su un database del ristorante, dall'argomento o una per "
        "riga dallo standard input."_s);
    const QCommandLineOption helpOption = tools::addItalianHelp(app, parser);
    const QCommandLineOption createOption(u"create"_s, u"Crea prima il database con lo schema del ristorante."_s);
    const QCommandLineOption demoOption(u"demo"_s, u"Con --create: aggiunge il ristorante dimostrativo."_s);
    const QCommandLineOption copyOption(
        u"copy"_s, u"Copia tutto il ristorante di DATABASE nel nuovo database DESTINAZIONE (un file o un URI)."_s);
    parser.addOption(createOption);
    parser.addOption(demoOption);
    parser.addOption(copyOption);
    const QCommandLineOption backupOption(u"backup"_s,
        u"Scrive una copia coerente di DATABASE (anche a server attivo) in CARTELLA, con la data nel nome."_s);
    const QCommandLineOption keepOption(
        u"keep"_s, u"Con --backup: quante copie tenere (predefinito 14)."_s, u"N"_s, u"14"_s);
    parser.addOption(backupOption);
    parser.addOption(keepOption);
    parser.addPositionalArgument(
        u"database"_s, u"Il file del database, o un URI PostgreSQL (postgresql://utente@host/nomedb)."_s);
    parser.addPositionalArgument(
        u"istruzione"_s, u"L'istruzione da eseguire (senza: lo standard input)."_s, u"[ISTRUZIONE]"_s);
    // A statement's own words ("-1", "--" comments) are not options of this program.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(app.arguments())) {
        err << "pliko-sql: " << parser.errorText() << Qt::endl;
        return 1;
    }
    if (parser.isSet(helpOption)) {
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
        err << "uso: pliko-sql [--create [--demo]] DATABASE [ISTRUZIONE] | --copy ORIGINE DESTINAZIONE"
               " | --backup DATABASE CARTELLA [--keep N]"
            << Qt::endl;
        return 1;
    }
    const QString path = args.takeFirst();
    if (parser.isSet(backupOption)) {
        // "--keep N" after the folder arrives among the positional arguments.
        QString keepText = parser.value(keepOption);
        const qsizetype at = args.indexOf(u"--keep"_s);
        if (at >= 0 && at + 1 < args.size()) {
            keepText = args.at(at + 1);
            args.remove(at, 2);
        }
        bool keepOk = false;
        const int keep = keepText.toInt(&keepOk);
        if (args.size() != 1 || create || !keepOk || keep < 1) {
            err << "uso: pliko-sql --backup DATABASE CARTELLA [--keep N]   (N: 1 o più)" << Qt::endl;
            return 1;
        }
        return backup(path, args.first(), keep, out, err);
    }
    if (parser.isSet(copyOption)) {
        if (args.size() != 1 || create) {
            err << "uso: pliko-sql --copy ORIGINE DESTINAZIONE" << Qt::endl;
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
