// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

class CommandDispatcher;
class ControlChannel;
class HandheldServices;
class KitchenBoardStore;
class ServerContext;
class WebService;

// The kitchen screens and the operator console ([PlikoServer] WebAddress; off without it): the web
// service on the network thread, its journal store, and what feeds them (new tickets, the
// operator log, the control commands, the ready-time histogram).
class WebWiring
{
public:
    WebWiring(
        ServerContext &context, CommandDispatcher &dispatcher, HandheldServices &services, ControlChannel &control);
    ~WebWiring();
    WebWiring(const WebWiring &) = delete;
    WebWiring &operator=(const WebWiring &) = delete;

    // Starts listening when configured; false when configured and it could not (logged).
    bool avvia();

private:
    std::unique_ptr<KitchenBoardStore> m_store;
    std::unique_ptr<WebService> m_web;
};
