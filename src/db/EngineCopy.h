// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DbEngine.h"

#include <QString>
#include <memory>

// Opening a restaurant database by its path or URI, and copying a whole restaurant from one
// database to a new one, on either engine (a SQLite file to PostgreSQL and back).
namespace engines {

// A "postgresql://..." URI opens PostgreSQL; anything else is a SQLite file that must exist.
std::unique_ptr<DbEngine> open(const QString &path, QString *error);

// Creates `to` with the restaurant schema and copies every row of `from` into it, keys and all,
// in one transaction; counters then follow the copied keys. Tables or columns that only one side
// has are left out and named in *notes. False, with the reason, when `to` already exists (or
// has tables) or a step fails; a failed copy leaves no rows behind.
bool copy(const QString &from, const QString &to, QString *notes, QString *error);

} // namespace engines
