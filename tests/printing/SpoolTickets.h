// SPDX-License-Identifier: GPL-3.0-or-later
// Reading what the spool printers received, shared by the printing and radio-order tests.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <ostream>

// Readable texts in test failures.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

// The text renditions of the jobs a spool printer received, oldest first.
inline QStringList spoolTickets(const QString &spoolDir, const QString &printer)
{
    QStringList out;
    const QDir dir(QDir(spoolDir).filePath(printer));
    for (const auto &name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out.append(QString::fromUtf8(f.readAll()));
    }
    return out;
}

// The rows of a ticket that carry dishes (a quantity before the description), variations or course headers.
inline QStringList righe(const QString &ticket)
{
    QStringList out;
    static const QRegularExpression dish(QStringLiteral("^\\s*[0-9][0-9,]*\\s+\\S"));
    for (const auto &l : ticket.split(u'\n'))
        if (dish.match(l).hasMatch() || l.contains(QStringLiteral("+ ")) || l.contains(QStringLiteral("Turno")))
            out.append(l.trimmed());
    return out;
}

// The standard layout file copied beside the test program.
inline QString standardFile()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("stampeRestaurant.xml"));
}
