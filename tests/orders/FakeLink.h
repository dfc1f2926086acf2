// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HandheldLink.h"

#include <QStringList>

// A handheld connection that records what the server did with it, in order.
class FakeLink : public HandheldLink
{
public:
    int inviaRisposta(const QString &text, int index) override
    {
        replies.append(text);
        events.append(u"reply " + text);
        lastIndex = index;
        return 1;
    }
    bool aspettaChiusura(int) override
    {
        events.append(QStringLiteral("closed"));
        return true;
    }
    QStringList replies;
    QStringList events;
    int lastIndex = -1;
};
