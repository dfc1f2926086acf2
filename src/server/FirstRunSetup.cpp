// SPDX-License-Identifier: GPL-3.0-or-later
#include "FirstRunSetup.h"

#include "RestaurantSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {
struct SpoolPrinter
{
    const char16_t *type;
    const char16_t *printer;
    const char16_t *paper;
};
// One printer for each zone and one at the till for pre-bills. Tickets go to the 80 mm roll of a
// ticket printer (page setting 256), the till prints on A4 (9).
constexpr SpoolPrinter Printers[] = {
    {u"cassa", u"Cassa", u"9"},       {u"cucina", u"Cucina", u"256"}, {u"pizzeria", u"Pizzeria", u"256"},
    {u"bar", u"Bar", u"256"},         {u"preconto", u"Cassa", u"9"}};
} // namespace

QString FirstRunSetup::defaultConfigPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(u"plikoserver/plikoserver.ini"_s);
}

QString FirstRunSetup::defaultDataFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(u"plikoserver"_s);
}

bool FirstRunSetup::create(const QString &configPath, const QString &dataFolder, QString *error)
{
    QDir data(dataFolder);
    if (!data.mkpath(u"."_s)) {
        *error = u"impossibile creare la cartella "_s + dataFolder;
        return false;
    }
    const QString dbPath = data.filePath(u"demo.db"_s);
    if (!QFileInfo::exists(dbPath) && !schema::createDatabase(dbPath, true, error))
        return false;
    const QString spool = data.filePath(u"spool"_s);
    for (const SpoolPrinter &p : Printers) {
        if (!data.mkpath(u"spool/"_s + QString::fromUtf16(p.printer))) {
            *error = u"impossibile creare la cartella di stampa "_s + spool;
            return false;
        }
    }

    QString text;
    text += u"; PlikoServer configuration, written on first run with the demo restaurant.\n"
            u"; Every option is described in the sample plikoserver.ini and in docs/configuration.md.\n\n"
            u"[Software\\Orvanta\\Quillmark10\\Config]\n"_s;
    text += u"LastDBPath="_s + QDir::fromNativeSeparators(dbPath) + u'\n';
    text += u"NumeroDecimali=2\n"_s;
    for (const SpoolPrinter &p : Printers)
        text += u"zona_ristorante_"_s + QString::fromUtf16(p.type) + u'=' + QString::fromUtf16(p.printer) + u'|'
                + QString::fromUtf16(p.paper) + u'\n';
    text += u"\n[PlikoServer]\nLocale=it_IT\nPrinterBackend=spool\n"_s;
    text += u"PrintSpoolDir="_s + QDir::fromNativeSeparators(spool) + u'\n';
    text += u"IdleTimeoutSeconds=60\nAllowedClients=all\n"_s;

    if (!QDir().mkpath(QFileInfo(configPath).absolutePath())) {
        *error = u"impossibile creare la cartella di "_s + configPath;
        return false;
    }
    QSaveFile file(configPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        *error = u"impossibile scrivere "_s + configPath + u": "_s + file.errorString();
        return false;
    }
    return true;
}
