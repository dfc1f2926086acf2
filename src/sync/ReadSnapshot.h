// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class clsDatabase;

// Holds one read transaction while a reply is built, so that its header, lines and per-row
// lookups all see the database as it was at one instant, even while the back office writes (the
// journal lets writers go on meanwhile). It also spares the engine a lock round for each of the
// hundreds of small queries of a large reply. Nothing is begun when a transaction is already open.
class ReadSnapshot
{
public:
    explicit ReadSnapshot(clsDatabase &db);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;

private:
    clsDatabase &m_db;
    bool m_began = false;
};
