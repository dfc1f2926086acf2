// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

// The work behind each radio message kind, as the receive loop calls it. Bodies and replies are
// single-byte (Windows-1252) texts exactly as the access point carries them. The receive loop owns
// the buffer rules (padding to 2000, trimming, which driver call sends a reply); these only do the
// work of their kind.
class NanoHandlers
{
public:
    virtual ~NanoHandlers() = default;

    // "T": one table's complete order (the first `length` bytes of the buffer). No reply.
    virtual void salvaComandaNano(const QByteArray &body) = 0;
    // "V": the view of a table that exists; "E..." free, "L..." locked, else the order's records.
    virtual QByteArray statoTavoloNano(qint16 table) = 0;
    // "l" (the operator's Duvu number) and "L" (0: every table): the table list.
    virtual QByteArray listaTavoliNano(qint32 operatorNano) = 0;
    // "N": moves the order of field 3's table to field 5's table; the feedback code to send
    // (0 moved, 100 not moved).
    virtual qint32 spostaTavoloNano(const QByteArray &body) = 0;
};
