// SPDX-License-Identifier: GPL-3.0-or-later
// The runtime-error window as the operator meets it, and the guarded menu items of the main window.
#include "CrashReport.h"
#include "ErrorRoutine.h"
#include "NullAccessPoint.h"
#include "OperatorUi.h"
#include "ServerContext.h"
#include "ServerCore.h"
#include "TestSupport.h"
#include "frmErroreRuntime.h"
#include "frmMain.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class ErrorWindowTest : public ::testing::Test
{
protected:
    ErrorWindowTest() : report(dir.filePath(u"QM10Errors"_s), record())
    {
        QDir().mkpath(report.folder());
    }
    static diagnostics::ErrorRecord record()
    {
        diagnostics::ErrorRecord r;
        r.moduleText = u"frmMain.attivaNano (Linea: 40)"_s;
        r.versionText = u"10.0.20 (Build: 10.0.20.7)"_s;
        r.errorText = u"50000  porta seriale occupata"_s;
        r.errorTime = u"06.12.2026-21.15.03"_s;
        return r;
    }
    QStringList files() const { return QDir(report.folder()).entryList(QDir::Files); }

    QTemporaryDir dir;
    diagnostics::CrashReport report;
    OperatorUi ui;
};

TEST_F(ErrorWindowTest, TheWindowShowsModuleVersionAndError)
{
    frmErroreRuntime window(report, {}, &ui);
    EXPECT_EQ(window.windowTitle(), u"Problema durante l'esecuzione del programma"_s);
    QStringList texts;
    for (const QLabel *label : window.findChildren<QLabel *>())
        texts << label->text();
    EXPECT_EQ(texts, (QStringList{u"Modulo: frmMain.attivaNano (Linea: 40)"_s, u"Versione: 10.0.20 (Build: 10.0.20.7)"_s,
                                  u"Errore: 50000  porta seriale occupata"_s}));
}

TEST_F(ErrorWindowTest, SendingAsksForACommentFirstAndWithNoAddressConfiguredKeepsTheArchiveAndSaysWhere)
{
    frmErroreRuntime window(report, {}, &ui);
    window.show();
    window.commentBox()->setPlainText(u"   "_s);
    window.cmdInvia()->click();
    EXPECT_EQ(ui.messages(), QStringList{frmErroreRuntime::AskComment});
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(files().isEmpty());
    EXPECT_FALSE(report.written());

    window.commentBox()->setPlainText(u"  stavo attivando la radio  "_s);
    window.cmdInvia()->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(report.record().comment, u"stavo attivando la radio"_s);
    EXPECT_EQ(files(), QStringList{u"qm10error#06.12.2026-21.15.03.zip"_s});
    ASSERT_EQ(ui.messages().size(), 2);
    EXPECT_TRUE(ui.messages().last().contains(report.archivePath())) << ui.messages().last().toStdString();
}

TEST_F(ErrorWindowTest, LeavingWithAnEmptyCommentWritesTheReportWithNoComment)
{
    frmErroreRuntime window(report, {}, &ui);
    window.show();
    window.cmdEsci()->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(report.record().comment, u"Nessun commento"_s);
    EXPECT_EQ(files().size(), 1);
    EXPECT_TRUE(ui.messages().isEmpty());
}

TEST(GuardedMenu, ASecondClickWhileTheRadioWindowOpensDoesNothing)
{
    RegionalGuard regionalGuard;
    QTemporaryDir dir;
    ServerContext context(std::make_unique<Registry>(dir.filePath(u"plikoserver.ini"_s)), nullptr, nullptr);
    ServerCore core(context);
    frmMain window(core);
    int opened = 0;
    // The operator clicks "Gestione Duvu" again while the first click is still opening the window.
    context.showNanoWindow = [&] {
        ++opened;
        window.gestioneNano();
    };
    window.gestioneNano();
    EXPECT_EQ(opened, 1);
    window.gestioneNano();
    EXPECT_EQ(opened, 2);
}

} // namespace
