// SPDX-License-Identifier: GPL-3.0-or-later
// The error report an operator prints from the runtime-error window.
#include "SegnalazioneErrore.h"
#include "SpoolPrinter.h"
#include "SpoolTickets.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString Layout = QStringLiteral(PLIKO_SOURCE_DATA_DIR "/ErrorsReport.xml");

TEST(ErrorReportPrint, TheCashDeskPrintsTheReportWithTheOperatorsComment)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(u"Cassa"_s));
    SpoolPrinter cassa(dir.path());
    diagnostics::ErrorRecord r;
    r.moduleText = u"frmMain.attivaNano (Linea: 40)"_s;
    r.versionText = u"10.0.20 (Build: 10.0.20.7)"_s;
    r.operatingSystem = u"Debian GNU/Linux 13"_s;
    r.errorText = u"50000  porta seriale occupata"_s;
    r.comment = u"stavo attivando la radio a inizio turno"_s;
    QString error;
    ASSERT_TRUE(stampaSegnalazioneErrore(r, u"C-0042"_s, Layout, cassa, u"Cassa"_s, &error)) << error.toStdString();

    const QStringList jobs = spoolTickets(dir.path(), u"Cassa"_s);
    ASSERT_EQ(jobs.size(), 1);
    const QString &text = jobs.first();
    for (const QString &expected : {u"Segnalazione Errore"_s, u"Cliente: C-0042"_s, u"Linea: 40"_s,
                                    u"Versione: 10.0.20"_s, u"porta seriale occupata"_s, u"inizio turno"_s})
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\n" << text.toStdString();
}

TEST(ErrorReportPrint, WithoutAPrinterTheOperatorIsToldWhy)
{
    QTemporaryDir dir;
    SpoolPrinter none(dir.path());
    for (const QString &printer : {QString(), u"Spenta"_s}) {
        QString error;
        EXPECT_FALSE(stampaSegnalazioneErrore({}, {}, Layout, none, printer, &error));
        EXPECT_FALSE(error.isEmpty());
    }
}

} // namespace
