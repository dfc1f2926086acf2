// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class clsDatabase;
class Recordset;

// The records that describe one open order to a handheld, shared by the table detail and the
// open-orders reply: the header "C|" record and the "M|" line records, each line followed at once
// by its "V|" variation records. A query that cannot be opened makes a builder answer false, and
// the reply that asked for it then sends nothing.
class OrderRecords
{
public:
    explicit OrderRecords(clsDatabase &db) : m_db(db) {}

    // The numbers of the tables the order occupies, "4,5".
    bool tableList(qint32 orderKey, QString *out);
    // The header fields read from `row` (inizio, ultima_ordinazione, coperti, data, pre_conto)
    // around the table list, ended by ";" (without the "C|" tag).
    static QString header(Recordset &row, const QString &tables);
    // Appends the order's line records and their variation records.
    bool lines(qint32 orderKey, QString *out);

private:
    clsDatabase &m_db;
};
