// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class CommandDispatcher;
class ServerContext;

// Registers the handheld commands of the synchronisation, order and print layers with the
// dispatcher, in the order the command table lists them ("TestConnessione" is the dispatcher's own).
void registerHandheldCommands(CommandDispatcher &dispatcher, ServerContext &context);
