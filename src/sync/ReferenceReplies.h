// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class clsDatabase;
class HandheldLink;

// The small reference replies: tables reserved around now ("SincroPrenotati"), the variation
// catalogue with its categories ("SincroVariazioni"), the settings a handheld needs
// ("SincroVariabili") and the waiters ("SincroOperatori").
class ReferenceReplies
{
public:
    ReferenceReplies(clsDatabase &db, HandheldLink &link) : m_db(db), m_link(link) {}

    void sincroPrenotati(int index);
    void sincroVariazioni(int index);
    void sincroVariabili(int index);
    void sincroOperatori(int index);

private:
    clsDatabase &m_db;
    HandheldLink &m_link;
};
