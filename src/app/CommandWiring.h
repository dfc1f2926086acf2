// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>
#include <memory>

class CommandDispatcher;
class HandheldLink;
class ServerContext;
class TestInvioComande;

// The handheld commands of the synchronisation, order and print layers, with the objects that
// serve them (the report window, the order recorder, the order-sending test). Created once by the
// program; registers its commands in the order the command table lists them ("TestConnessione"
// is the dispatcher's own).
class HandheldServices
{
public:
    HandheldServices(CommandDispatcher &dispatcher, ServerContext &context, HandheldLink &link);
    ~HandheldServices();
    HandheldServices(const HandheldServices &) = delete;
    HandheldServices &operator=(const HandheldServices &) = delete;

    TestInvioComande &testInvioComande();
    // Ends an order-sending test still open (the program is stopping).
    void chiudiTest();
    // How the operator picks the printer of the test summary (the GUI asks; headless uses the
    // pre-bill printer).
    void setSceltaStampante(std::function<bool(QString &printer)> choose);
    // Start-up: prints again, marked as reprints, the tickets of open orders confirmed within
    // `[PlikoServer] RecoverTicketsMinutes` (15; 0 = off) whose lines never printed. Returns how many
    // orders were printed again.
    int ristampaComandeInSospeso(ServerContext &context);

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};
