// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HandheldLink.h"

#include <QString>
#include <QStringList>
#include <any>
#include <functional>

// One handheld request as the dispatcher hands it to a command handler: the slot it came on, the
// text after the handheld code (the tail, beginning with the command word), the arguments after
// the command word (the rest), and the connection to reply on. A handler whose arguments do not
// hold what it needs calls reject(): the request is logged and dropped and its connection closed.
struct HandheldRequest
{
    int index = 0;
    QString text;   // the whole command text, without its final carriage return
    QString tail;   // after the first "|"
    QString word;   // the command word
    QString rest;   // after the second "|"
    HandheldLink *link = nullptr;
    std::function<void(const QString &reason)> onReject;
    // What the command's preparer made of the rest on the network thread (empty when it has none).
    std::any prepared;

    // The rest split on "|", counted from 0.
    QStringList fields() const { return rest.split(u'|'); }
    int inviaRisposta(const QString &reply) const { return link ? link->inviaRisposta(reply, index) : 0; }
    bool aspettaChiusura() const { return link ? link->aspettaChiusura(index) : true; }
    void reject(const QString &reason) const
    {
        if (onReject)
            onReject(reason);
    }
};
