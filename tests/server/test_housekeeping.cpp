// SPDX-License-Identifier: GPL-3.0-or-later
// The daily housekeeping: old spool printer files and surplus crash reports go, nothing else does.
#include "Housekeeping.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
void makeFile(const QString &path, const QDateTime &modified)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.flush();
    ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
}
} // namespace

TEST(Housekeeping, OldSpoolFilesAndSurplusCrashReportsGoTheRestStays)
{
    QTemporaryDir dir;
    const QDateTime now(QDate(2026, 12, 6), QTime(12, 0));
    const QString spool = dir.filePath(u"spool"_s);
    const QString crash = dir.filePath(u"QM10Errors"_s);
    QDir().mkpath(spool + u"/Cucina"_s);
    QDir().mkpath(crash);
    makeFile(spool + u"/Cucina/00001.pdf"_s, now.addDays(-8));
    makeFile(spool + u"/Cucina/00002.pdf"_s, now.addDays(-6));
    makeFile(spool + u"/stray.txt"_s, now.addDays(-30)); // not a printer's file
    for (int i = 0; i < 4; ++i)
        makeFile(crash + u"/qm10error#0%1.12.2026-10.00.00.zip"_s.arg(i + 1), now.addDays(-10 + i));
    makeFile(crash + u"/notes.txt"_s, now.addDays(-100));

    Housekeeping::Limits limits{spool, 7, crash, 2};
    EXPECT_EQ(Housekeeping::run(limits, now), 3);
    EXPECT_FALSE(QFile::exists(spool + u"/Cucina/00001.pdf"_s));
    EXPECT_TRUE(QFile::exists(spool + u"/Cucina/00002.pdf"_s));
    EXPECT_TRUE(QFile::exists(spool + u"/stray.txt"_s));
    EXPECT_EQ(QDir(crash).entryList({u"*.zip"_s}, QDir::Files, QDir::Name),
              QStringList({u"qm10error#03.12.2026-10.00.00.zip"_s, u"qm10error#04.12.2026-10.00.00.zip"_s}));
    EXPECT_TRUE(QFile::exists(crash + u"/notes.txt"_s));

    // 0 keeps everything.
    EXPECT_EQ(Housekeeping::run({spool, 0, crash, 0}, now.addYears(1)), 0);
}
