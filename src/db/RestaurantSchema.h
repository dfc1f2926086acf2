// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class Clock;
class DbEngine;

// The restaurant database: the tables and columns the server reads and writes, with their
// counters and the indexes it seeks on. A new, empty database file gets this schema; the demo
// database adds a small, realistic restaurant so that a new user sees the server work at once.
namespace schema {

// Creates a new database file, or the schema in an empty PostgreSQL database (a
// "postgresql://..." path). False (with the reason) when the file exists, the database already
// has tables, or a step fails.
bool createDatabase(const QString &path, bool demo, QString *error);

// The schema's tables, in the order they are created.
QStringList tables();

// Moves every counter past the keys already stored (after rows were copied with their keys).
bool advanceCounters(DbEngine &engine, QString *error);

// The schema statements, in order (SQLite dialect).
const char *const *statements();

} // namespace schema
