// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClientFilter.h"

#include <QLocale>
#include <QString>
#include <QStringList>
#include <chrono>

class Registry;

// This program's options as the server applies them, read and checked in one place so that
// start-up, --check-config and a reload (SIGHUP) agree on what a good file is.
struct ServerOptions
{
    ClientFilter clients;
    std::chrono::seconds idleTimeout{60};
    std::chrono::milliseconds databaseLinger{2000};
    std::chrono::seconds databaseRequest{10};
    // The handhelds and the back office write Italian numbers ("5,00") whatever the machine's own
    // locale says, so Italian is the default rather than the system's (C on a stock server).
    QLocale locale = QLocale(QLocale::Italian, QLocale::Italy);
    int decimals = 2;
    QString logLevel = QStringLiteral("info");
    QString metricsAddress; // empty: no metrics endpoint

    // Reads the options; every value that cannot be used adds one line to *problems and keeps
    // its default. NumeroDecimali that cannot be read is the back office's own fallback (2
    // decimals), so it goes to *tolerated instead.
    static ServerOptions read(const Registry &registry, QStringList *problems, QStringList *tolerated = nullptr);
};

// --check-config: every problem of a configuration file, one line each ("file:line: what"). Two
// kinds: the file's own (unreadable, unknown [PlikoServer] options, values that mean nothing,
// networks that cannot be read) refuse a start and a reload; what the file points at (the
// database, the spool folders, the CUPS queues) is checked too, but at start-up a printer that is
// off or a queue not yet set up must not stop order taking, so there it is only logged.
namespace ConfigCheck {

// The options of [PlikoServer] this program knows (a new option is added here, or files that
// use it are refused).
const QStringList &knownOptions();

QStringList fileProblems(const Registry &registry);
QStringList resourceProblems(const Registry &registry);
// What --check-config points out without refusing the file (the start would go ahead as well).
QStringList warnings(const Registry &registry);
// Everything --check-config says: the file's problems, what the server tolerates with a default,
// and what the file points at.
QStringList problems(const Registry &registry);

} // namespace ConfigCheck
