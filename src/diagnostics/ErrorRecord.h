// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

// The process-wide error record: what the failing procedure captured (number, description, line)
// and what the common error routine adds for the crash report.
namespace diagnostics {

// Error numbers with a meaning of their own.
inline constexpr qint32 ErrHarmless = 50003;      // cleared, the procedure goes on
inline constexpr qint32 ErrDiskOrNetwork = 3043;  // the database's disk or network failed: restart
inline constexpr qint32 ErrInternal = 50000;      // a fault of our own code (an exception)

struct ErrorRecord
{
    qint32 number = 0;
    QString description;
    qint32 line = 0;

    QString errorText;
    QString moduleText;
    QString errorTime;        // "dd.MM.yyyy-HH.mm.ss": names the report's files
    QString versionText;
    QString operatingSystem;
    QString user;
    QString machine;
    QString administrator;
    QString databaseStatus;
    QString callTrace;
    QString runningHandlers;
    QString registryExtract;
    QString locals;           // values of the failing procedure, when it gave any
    QString comment;
    bool restartPending = false;
};

ErrorRecord &errorRecord();
// The capture step at the start of a procedure's error handling.
void capture(qint32 number, const QString &description, qint32 line = 0);
void clearError();

// The module text: the module and procedure, then " (Linea: n)" when the line is known.
QString moduleTextOf(const QString &module, qint32 line);
// The error text: the message, or the number, two blanks and the description.
QString errorTextOf(const QString &message, qint32 number, const QString &description);
QString errorTimeOf(const QDateTime &when);

// Keeps blanks, digits and ASCII letters; every other byte of the UTF-8 text becomes "%XX".
QString percentEncode(const QString &value);
// The ".err" file: "<ERRORE>", one tab-indented tagged line per item, "</ERRORE>".
QString errFileText(const ErrorRecord &record, const QString &customerId, const QString &email);

} // namespace diagnostics
