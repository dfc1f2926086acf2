// SPDX-License-Identifier: GPL-3.0-or-later
// The common error routine: harmless errors, a database that fails under a request, faults of one
// request and of the server, and the crash reports they leave.
#include "CommandDispatcher.h"
#include "CrashReport.h"
#include "ErrorRoutine.h"
#include "Guarded.h"
#include "OperatorUi.h"
#include "Restart.h"
#include "clsDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace diagnostics;

namespace {

class ErrorRoutineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ErrorSetup setup;
        setup.crashFolder = crashFolder();
        setup.customerId = u"C-0042"_s;
        setup.email = u"assistenza@trattoria.example"_s;
        setup.registryExtract = [] { return u"[PlikoServer]\nLocale=it_IT\n"_s; };
        setup.databaseStatus = [] { return u"aperto"_s; };
        setup.criticalMessage = [this](const QString &text) { messages << text; };
        setup.restart = [this] { ++restarts; };
        installErrorSetup(std::move(setup));
        clearError();
    }
    void TearDown() override { installErrorSetup({}); }

    QString crashFolder() const { return dir.filePath(u"QM10Errors"_s); }
    QStringList crashFiles() const { return QDir(crashFolder()).entryList(QDir::Files); }

    QTemporaryDir dir;
    QStringList messages;
    int restarts = 0;
};

TEST_F(ErrorRoutineTest, AHarmlessErrorIsClearedAndTheHandlerGoesOn)
{
    int after = 0;
    runGuarded("frmMain", "sincroTavoli", Where::Request, [&] {
        capture(ErrHarmless, u"valore non trovato"_s, 30);
        EXPECT_EQ(erroreComune({}, u"frmMain.sincroTavoli"_s, Where::Request), Outcome::Cleared);
        ++after;  // the next statement
    });
    EXPECT_EQ(after, 1);
    EXPECT_EQ(errorRecord().number, 0);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(restarts, 0);
    EXPECT_TRUE(crashFiles().isEmpty());
}

TEST_F(ErrorRoutineTest, ADatabaseThatCannotBeReadDuringARequestShowsTheFiveLinesAndRestarts)
{
    // The database proved itself at start; now its file is damaged.
    const QString path = dir.filePath(u"ristorante.db"_s);
    QFile garbage(path);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, '\x5a'));
    garbage.close();

    clsDatabase db;
    OperatorUi ui;
    CommandDispatcher dispatcher(db, &ui);
    dispatcher.setDatabasePath(path);
    dispatcher.analizzaDati(u"PALM01|TestConnessione|"_s, 2);

    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first().split(u"\r\n"_s),
              (QStringList{u"Attenzione!"_s, u"Si è verificato un errore di lettura sul database"_s,
                           u"verificare che non ci siano problemi di rete e di accesso al disco."_s,
                           u"Nel caso il problema persista è possibile che il database si sia danneggiato."_s,
                           u"Il programma verrà riavviato"_s}));
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(errorRecord().number, ErrDiskOrNetwork);

    // A second request meanwhile starts no second restart.
    dispatcher.analizzaDati(u"PALM01|TestConnessione|"_s, 3);
    EXPECT_EQ(restarts, 1);
}

TEST_F(ErrorRoutineTest, ValuesOfTheErrorFileArePercentEncoded)
{
    const std::pair<QString, QString> cases[] = {
        {u"caffè"_s, u"caff%C3%A8"_s},
        {u"riga\r\nnuova"_s, u"riga%0D%0Anuova"_s},
        {QString(), QString()},
    };
    for (const auto &[value, expected] : cases)
        EXPECT_EQ(percentEncode(value), expected) << value.toStdString();

    ErrorRecord r;
    r.errorText = u"conto|sbagliato"_s;
    r.comment = NoComment;
    const QStringList lines = errFileText(r, u"C-0042"_s, u"x@y.it"_s).split(u"\r\n"_s, Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 17);
    EXPECT_EQ(lines.first(), u"<ERRORE>"_s);
    EXPECT_EQ(lines.last(), u"</ERRORE>"_s);
    EXPECT_EQ(lines.at(1), u"\t<CUSTOMERID>C%2D0042</CUSTOMERID>"_s);
    EXPECT_EQ(lines.at(9), u"\t<CODICE>conto%7Csbagliato</CODICE>"_s);
    EXPECT_EQ(lines.at(11), u"\t<COMMENTO>Nessun commento</COMMENTO>"_s);
    EXPECT_TRUE(lines.at(15).startsWith(u"\t<CHECK>"_s));
}

TEST_F(ErrorRoutineTest, AFailedRequestLeavesAnArchiveOfSixFilesWithTheFailingHandlerInItsTrace)
{
    const bool ok = runGuarded("analizzaDati", "Comanda", Where::Request,
                               [] { throw std::runtime_error("riga d'ordine senza articolo"); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(restarts, 0);  // one request's fault: the service goes on
    EXPECT_TRUE(messages.isEmpty());

    const QStringList files = crashFiles();
    ASSERT_EQ(files.size(), 1) << files.join(u", "_s).toStdString();
    EXPECT_TRUE(files.first().startsWith(u"qm10error#"_s));
    EXPECT_EQ(QDir(crashFolder()).filePath(files.first()), lastArchive());
    QStringList entries = zipEntries(lastArchive());
    entries.sort();
    EXPECT_EQ(entries.join(u' ').remove(u"tmp-"_s + errorRecord().errorTime), u".env .err .glb .loc .reg .stk"_s);
    EXPECT_TRUE(errorRecord().callTrace.contains(u"analizzaDati.Comanda"_s)) << errorRecord().callTrace.toStdString();
    EXPECT_EQ(errorRecord().comment, NoComment);  // headless: nobody to ask
}

TEST_F(ErrorRoutineTest, ManyFailedRequestsWithinAMinuteRestartTheServer)
{
    resetRequestFailures();
    for (int i = 1; i <= 5; ++i) {
        capture(ErrInternal, u"guasto"_s);
        EXPECT_EQ(erroreComune({}, u"analizzaDati.Comanda"_s, Where::Request), Outcome::Reported) << i;
    }
    EXPECT_EQ(restarts, 0);
    capture(ErrInternal, u"guasto"_s);
    EXPECT_EQ(erroreComune({}, u"analizzaDati.Comanda"_s, Where::Request), Outcome::Restarting);
    EXPECT_EQ(restarts, 1);
}

TEST_F(ErrorRoutineTest, AFaultOutsideARequestShowsTheWindowThenRestarts)
{
    ErrorSetup setup = errorSetup();
    QString shownModule;
    setup.showWindow = [&](CrashReport &report) {
        shownModule = report.record().moduleText;
        report.record().comment = u"stavo chiudendo il turno"_s;
        ASSERT_TRUE(report.write());
    };
    installErrorSetup(setup);
    runClick("frmMain.attivaNano", "frmMain", "attivaNano", [] { throw std::logic_error("porta nulla"); });
    EXPECT_EQ(shownModule, u"frmMain.attivaNano"_s);
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(crashFiles().size(), 1);
}

// Without a line the module text is the module alone: the window of a fault outside a request shows it.
TEST_F(ErrorRoutineTest, TheModuleTextCarriesTheLineWhenKnownAndAScrambledMessageIsReadBeforeUse)
{
    capture(ErrInternal, u"indice fuori intervallo"_s, 120);
    erroreComune({}, u"modNano.salvaComandaNano"_s, Where::Request);
    EXPECT_EQ(errorRecord().moduleText, u"modNano.salvaComandaNano (Linea: 120)"_s);
    EXPECT_EQ(errorRecord().errorText, u"50000  indice fuori intervallo"_s);

    const QString secret = scramble(u"Conto non chiuso: tavolo 7"_s);
    EXPECT_TRUE(secret.startsWith(u"#B64#"_s));
    EXPECT_FALSE(secret.contains(u"tavolo"_s));
    capture(ErrInternal, u"ignorato"_s);
    erroreComune(secret, u"modNano.spostaTavolo"_s, Where::Request);
    EXPECT_EQ(errorRecord().errorText, u"Conto non chiuso: tavolo 7"_s);
}

TEST(CrashReportSecrets, PasswordsStayOutOfTheReport)
{
    EXPECT_EQ(maskSecrets(u"LastDBPath=postgresql://cassa:segreta@db/ristorante"_s),
              u"LastDBPath=postgresql://cassa:***@db/ristorante"_s);
    EXPECT_EQ(maskSecrets(u"HOME=/root\nPGPASSWORD=segreta\nAPI_TOKEN=abc"_s),
              u"HOME=/root\nPGPASSWORD=***\nAPI_TOKEN=***"_s);
}

TEST(RestartHelper, TheHelperGetsTheEncodedTextAndTheServerItsOwnOptionsBack)
{
    QTemporaryDir dir;
    const QString record = dir.filePath(u"argomenti.txt"_s);
    // A stand-in helper that only records what it was given; the record appears whole (written
    // aside, then renamed), so a reader that sees the file sees all of it.
    const QString helper = dir.filePath(HelperName);
    QFile script(helper);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QString(u"#!/bin/sh\nprintf '%s' \"$*\" > '"_s + record + u".part' && mv '"_s + record + u".part' '"_s
                         + record + u"'\n"_s)
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    Restarter restarter(dir.path(), dir.filePath(u"QM9Temp"_s), u"/opt/pliko/plikoserver"_s,
                        {u"--config"_s, u"/srv/Trattoria da Gino/plikoserver.ini"_s, u"--headless"_s, u"/noerrors"_s});
    const QString running = restarter.prepareHelper();
    EXPECT_EQ(running, dir.filePath(u"QM9Temp/"_s + HelperName));  // started from its copy
    ASSERT_TRUE(restarter.startHelper());
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(record) && t.elapsed() < 10000)
        QThread::msleep(20);
    QFile recorded(record);
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(QByteArray::fromBase64(recorded.readAll()));
    const QString expectedStart = u"waitpid "_s + QString::number(QCoreApplication::applicationPid())
                                  + u" execnowaithidden "_s;
    ASSERT_TRUE(text.startsWith(expectedStart)) << text.toStdString();
    EXPECT_EQ(QProcess::splitCommand(text.mid(expectedStart.size())),
              (QStringList{u"/opt/pliko/plikoserver"_s, u"--config"_s, u"/srv/Trattoria da Gino/plikoserver.ini"_s,
                           u"--headless"_s, u"/noerrors"_s}));
}

} // namespace
