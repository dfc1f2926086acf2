// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ErrorRecord.h"

#include <QString>
#include <QStringList>

// One crash report in the folder "QM10Errors": the loose files "tmp-T.glb", ".err", ".reg", ".stk",
// ".loc", ".env" (and "screen-T.png" with windows), packed into "qm10error#T.zip", after which the
// loose files are deleted.
namespace diagnostics {

class CrashReport
{
public:
    CrashReport(QString folder, ErrorRecord record, QString customerId = {}, QString email = {});

    ErrorRecord &record() { return m_record; }
    const ErrorRecord &record() const { return m_record; }
    const QString &folder() const { return m_folder; }
    const QString &customerId() const { return m_customerId; }
    QString email() const { return m_email; }
    void setEmail(const QString &email) { m_email = email; }

    // The name stem T (the error time, made unique in the folder).
    const QString &stem() const { return m_stem; }
    QString screenshotPath() const;
    QString archivePath() const;

    // Writes the files and the archive; false (and why) when the folder cannot take them.
    bool write(QString *error = nullptr);
    bool written() const { return m_written; }

private:
    QString loosePath(const QString &suffix) const;

    QString m_folder;
    ErrorRecord m_record;
    QString m_customerId;
    QString m_email;
    QString m_stem;
    bool m_written = false;
};

// Packs files into a zip archive (their names without folders).
bool zipFiles(const QString &archive, const QStringList &files, QString *error = nullptr);
// Names of the files inside an archive (tests and the support tool read it).
QStringList zipEntries(const QString &archive);
// Packs the loose files a crash left behind (the fatal-signal handler writes no archive) into
// their archives; returns the archives written.
QStringList archiveLeftovers(const QString &folder);
// Hides passwords in connection texts and secret-looking environment values.
QString maskSecrets(const QString &text);

} // namespace diagnostics
