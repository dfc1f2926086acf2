// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

// What a request handler needs of the connection that brought its request: send the one reply
// (inviaRisposta) and wait, with the event loop running, until the connection is closed
// (reply first, print after). The handheld server implements it; tests use a recording fake.
class HandheldLink
{
public:
    virtual ~HandheldLink() = default;
    // Sends the complete reply (already ended by its carriage return) on slot `index`; returns 1.
    virtual int inviaRisposta(const QString &text, int index) = 0;
    // Waits until the slot's socket is closed (bounded); false when the wait timed out.
    virtual bool aspettaChiusura(int index) = 0;
    // Runs `then` once the slot's connection has closed (or the bounded wait is over): what a
    // handler does after its reply (printing) waits for the handheld without holding the handler.
    // This default waits in place; the handheld server queues it instead, so that handlers never
    // stack up waiting inside one another under load.
    virtual void dopoChiusura(int index, std::function<void()> then)
    {
        aspettaChiusura(index);
        then();
    }
};
