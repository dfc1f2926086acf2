// SPDX-License-Identifier: GPL-3.0-or-later
// The radio message handlers on the demo restaurant: the first byte picks the kind (an order, a
// table view, a table list, a table move), the rest is the body as the access point passed it.
// Whatever arrives, a handler records, answers or refuses; it never crashes.
#include "FuzzSupport.h"
#include "NanoParsing.h"
#include "clsDatabase.h"
#include "modNanoComande.h"
#include "modPlikoServer.h"

#include <chrono>

namespace {

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
    // No print window: the order path is fuzzed, the tickets have their own target.
    modNanoComande handlers{db, mod, nullptr, nullptr};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::initialise();
    static Restaurant *r = new Restaurant;
    if (size == 0)
        return 0;
    const QByteArray body(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    switch (data[0] % 4) {
    case 0:
        r->handlers.salvaComandaNano(body);
        break;
    case 1:
        r->handlers.statoTavoloNano(qint16(nano::leggiIntero(body)));
        break;
    case 2:
        r->handlers.listaTavoliNano(nano::leggiIntero(body));
        break;
    default:
        r->handlers.spostaTavoloNano(body);
        break;
    }
    if (r->db.inTransaction())
        __builtin_trap();
    return 0;
}
