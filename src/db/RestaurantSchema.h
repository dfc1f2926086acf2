// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Clock;

// The restaurant database: the tables and columns the server reads and writes, with their
// counters and the indexes it seeks on. A new, empty database file gets this schema; the demo
// database adds a small, realistic restaurant so that a new user sees the server work at once.
namespace schema {

// Creates a new database file. False (with the reason) when the file already exists or fails.
bool createDatabase(const QString &path, bool demo, QString *error);

// The schema statements, in order (SQLite dialect).
const char *const *statements();

} // namespace schema
