// SPDX-License-Identifier: GPL-3.0-or-later
// `plikoserver --check-config`: a restaurant's configuration file with one mistake each is
// reported in one line that names the file, the line and the option; a good file has none.
#include "ConfigCheck.h"
#include "PrinterList.h"
#include "RestaurantSchema.h"
#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class ConfigCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(schema::createDatabase(dir.filePath(u"restaurant.db"_s), true, &error)) << error.toStdString();
        for (const QString &p : {u"Cassa"_s, u"Cucina"_s})
            QDir().mkpath(dir.filePath(u"spool/"_s + p));
    }
    // A working configuration with the given back-office and [PlikoServer] lines added.
    QString write(const QString &backOffice, const QString &own)
    {
        const QString path = dir.filePath(u"plikoserver.ini"_s);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write((u"[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath="_s + dir.filePath(u"restaurant.db"_s)
                 + u"\nzona_ristorante_cucina=Cucina|9\nzona_ristorante_preconto=Cassa|9\n"_s + backOffice
                 + u"\n[PlikoServer]\nPrinterBackend=spool\nPrintSpoolDir="_s + dir.filePath(u"spool"_s) + u'\n'
                 + own)
                    .toUtf8());
        return path;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(ConfigCheckTest, AGoodFileHasNoProblem)
{
    const Registry reg(
        write({}, u"LogLevel=debug\nAllowedClients=192.168.1.0/24\nCom3=/dev/ttyUSB0\nListenAddress=127.0.0.1\n"_s));
    EXPECT_EQ(ConfigCheck::problems(reg), QStringList());
    // An option written without a value is the option at its default.
    EXPECT_EQ(ConfigCheck::problems(Registry(write({}, u"LogLevel=\nLocale=\nMetricsAddress=\nListenAddress=\n"_s))),
              QStringList());
    // Without Locale the prices read as Italian ones; a machine whose own locale reads them
    // otherwise (C on a stock server, as here under test) is told so, without refusing the file.
    EXPECT_EQ(ConfigCheck::warnings(Registry(write({}, u"Locale=it_IT\n"_s))), QStringList());
    const QStringList notes = ConfigCheck::warnings(Registry(write({}, {})));
    EXPECT_EQ(notes.size(), QLocale::system().decimalPoint() == u","_s ? 0 : 1);
    EXPECT_TRUE(notes.isEmpty() || notes.first().contains(u"Locale non impostato"_s)) << notes.join(u'\n').toStdString();
}

TEST_F(ConfigCheckTest, EachMistakeIsOneLineNamingTheFileLineAndOption)
{
    struct Case
    {
        const char *what;
        QString backOffice;
        QString own;
        QString expected;   // the text the one line holds
        bool fileProblem;   // refuses a start and a reload
    };
    const QList<Case> cases = {
        {"unknown backend", {}, u"PrinterBackend=lpr\n"_s, u"PrinterBackend: \"lpr\" sconosciuto"_s, true},
        {"unknown log level", {}, u"LogLevel=verbose\n"_s, u"LogLevel: \"verbose\" sconosciuto"_s, true},
        {"misspelt option", {}, u"IdleTimeout=30\n"_s, u"opzione sconosciuta IdleTimeout"_s, true},
        {"unreadable network", {}, u"AllowedClients=192.168.1.0/33\n"_s, u"AllowedClients: rete illeggibile"_s, true},
        {"idle time not a number", {}, u"IdleTimeoutSeconds=un minuto\n"_s, u"IdleTimeoutSeconds: \"un minuto\""_s,
         true},
        {"negative linger", {}, u"DatabaseLingerMs=-5\n"_s, u"DatabaseLingerMs: \"-5\""_s, true},
        {"an access point allowed to hold the server a minute", {}, u"AccessPointTimeoutMs=60000\n"_s,
         u"AccessPointTimeoutMs: \"60000\""_s, true},
        {"unknown locale", {}, u"Locale=xx_YY\n"_s, u"Locale: impostazioni regionali sconosciute"_s, true},
        {"metrics on every interface", {}, u"MetricsAddress=0.0.0.0:9312\n"_s,
         u"MetricsAddress: \"0.0.0.0\" non è un indirizzo di questa macchina"_s, true},
        {"listen address not an address", {}, u"ListenAddress=cassa\n"_s,
         u"ListenAddress: \"cassa\" non è un indirizzo IP"_s, true},
        {"listen address of another machine", {}, u"ListenAddress=192.0.2.7\n"_s,
         u"ListenAddress: \"192.0.2.7\" non è un indirizzo di questa macchina"_s, true},
        // Kitchen screens on the restaurant's network are never open to whoever finds the address.
        {"screens without a key", {}, u"WebAddress=127.0.0.1:8080\n"_s, u"WebKey: manca"_s, true},
        {"a screen key short enough to guess", {}, u"WebAddress=127.0.0.1:8080\nWebKey=corta\n"_s,
         u"WebKey: troppo corta"_s, true},
        {"a screen for a zone that does not exist", {}, u"ScreenZones=cucina,forno\n"_s,
         u"ScreenZones: zona sconosciuta \"forno\""_s, true},
        {"red before amber", {}, u"ScreenWarnMinutes=20,10\n"_s, u"ScreenWarnMinutes: \"20,10\""_s, true},
        // The back office's own fallback: 2 decimals, said but not refused.
        {"decimals out of range", u"NumeroDecimali=12\n"_s, {}, u"NumeroDecimali: \"12\""_s, false},
        {"page setting unknown", u"zona_ristorante_bar=Cucina|77\n"_s, {}, u"zona_ristorante_bar: \"Cucina|77\""_s,
         true},
        {"printer folder missing", u"zona_ristorante_pizzeria=Forno\n"_s, {},
         u"zona_ristorante_pizzeria: stampante \"Forno\" non disponibile"_s, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Registry reg(write(c.backOffice, c.own));
        const QStringList problems = ConfigCheck::problems(reg);
        ASSERT_EQ(problems.size(), 1) << problems.join(u'\n').toStdString();
        EXPECT_TRUE(problems[0].contains(c.expected)) << problems[0].toStdString();
        EXPECT_TRUE(problems[0].startsWith(reg.path() + u':')) << problems[0].toStdString();
        EXPECT_EQ(ConfigCheck::fileProblems(reg).size(), c.fileProblem ? 1 : 0);
    }
}

TEST_F(ConfigCheckTest, TheLineNumberPointsAtTheMistake)
{
    // Line 1 the section, 2 LastDBPath, 3-4 printers, 5 blank, 6 the section, 7-8 backend and spool, 9 LogLevel.
    const QString path = write({}, u"LogLevel=verbose\n"_s);
    EXPECT_TRUE(ConfigCheck::problems(Registry(path)).value(0).startsWith(path + u":9: "_s));
}

TEST_F(ConfigCheckTest, WhatTheFilePointsAtIsCheckedToo)
{
    const QString path = write({}, {});
    QFile::remove(dir.filePath(u"restaurant.db"_s));
    QDir(dir.filePath(u"spool"_s)).removeRecursively();
    const QStringList problems = ConfigCheck::problems(Registry(path));
    ASSERT_EQ(problems.size(), 2) << problems.join(u'\n').toStdString();
    EXPECT_TRUE(problems[0].contains(u"database non raggiungibile"_s)) << problems[0].toStdString();
    EXPECT_TRUE(problems[1].contains(u"PrintSpoolDir: cartella mancante"_s)) << problems[1].toStdString();
    EXPECT_TRUE(ConfigCheck::fileProblems(Registry(path)).isEmpty());

    const QStringList missing = ConfigCheck::problems(Registry(dir.filePath(u"typo.ini"_s)));
    ASSERT_EQ(missing.size(), 1) << missing.join(u'\n').toStdString();
    EXPECT_TRUE(missing[0].contains(u"mancante o illeggibile"_s)) << missing[0].toStdString();
}

TEST_F(ConfigCheckTest, OptionsAreReadAsTheServerAppliesThem)
{
    QStringList problems;
    const ServerOptions o = ServerOptions::read(
        Registry(write(u"NumeroDecimali=3\n"_s,
                       u"IdleTimeoutSeconds=90\nDatabaseLingerMs=0\nLocale=it_IT\nLogLevel=Warning\n"_s)),
        &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
    EXPECT_EQ(o.idleTimeout, std::chrono::seconds(90));
    EXPECT_EQ(o.databaseLinger, std::chrono::milliseconds(0));
    EXPECT_EQ(o.decimals, 3);
    EXPECT_EQ(o.locale.decimalPoint(), u","_s);
    EXPECT_EQ(o.logLevel, u"warning"_s);
}

TEST_F(ConfigCheckTest, TheOperatorChoosesAmongTheSpoolPrintersThatExist)
{
    QDir().mkpath(dir.filePath(u"spool/Bar"_s));
    const Registry reg(write({}, {}));
    EXPECT_EQ(installedPrinters(reg), (QStringList{u"Bar"_s, u"Cassa"_s, u"Cucina"_s}));
}
