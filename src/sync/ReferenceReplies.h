// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class clsDatabase;

// The small reference replies: tables reserved around now ("SincroPrenotati"), the variation
// catalogue with its categories ("SincroVariazioni"), the settings a handheld needs
// ("SincroVariabili") and the waiters ("SincroOperatori"). The builders return the reply text, or a
// null text when a query could not be opened.
class ReferenceReplies
{
public:
    explicit ReferenceReplies(clsDatabase &db) : m_db(db) {}

    QString sincroPrenotati();
    QString sincroVariazioni();
    QString sincroVariabili();
    QString sincroOperatori();

private:
    clsDatabase &m_db;
};
