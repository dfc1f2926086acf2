// SPDX-License-Identifier: GPL-3.0-or-later
// Each synchronisation command's argument handling, on the demo restaurant: the first byte picks
// the command, the rest is its arguments as the handheld sent them. A command either replies once
// per record set it owes or refuses the request; every reply is one line ended by its carriage
// return.
#include "FuzzSupport.h"
#include "HandheldLink.h"
#include "SincroReplies.h"
#include "SyncCommands.h"
#include "clsDatabase.h"
#include "modPlikoServer.h"

#include <chrono>

namespace {

class CheckingLink final : public HandheldLink
{
public:
    int inviaRisposta(const QString &text, int) override
    {
        if (!text.endsWith(u'\r') || text.indexOf(u'\r') != text.size() - 1)
            __builtin_trap();
        return 1;
    }
    bool aspettaChiusura(int) override { return true; }
};

struct Restaurant
{
    Restaurant()
    {
        db.setRetryDelay(std::chrono::milliseconds(1));
        db.setYieldBeforeStatements(false);
        if (!db.openDB(fuzz::demoDatabase()))
            __builtin_trap();
    }
    clsDatabase db;
    modPlikoServer mod{db};
    CheckingLink link;
    SincroReplies replies{db, mod, link};
    const QList<SyncCommand> commands = syncCommands();
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::initialise();
    static Restaurant *r = new Restaurant;
    if (size == 0 || r->commands.isEmpty())
        return 0;
    const SyncCommand &command = r->commands.at(data[0] % r->commands.size());
    const QString rest = fuzz::wireText(data + 1, size - 1);
    command.run(r->replies, command.word + u'|' + rest, rest, 2);
    return 0;
}
