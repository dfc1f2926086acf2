// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandWiring.h"

#include "CommandDispatcher.h"
#include "ServerContext.h"

void registerHandheldCommands(CommandDispatcher &dispatcher, ServerContext &context)
{
    // The layers register here as they arrive: print requests and notes, orders, synchronisation.
    (void)dispatcher;
    (void)context;
}
