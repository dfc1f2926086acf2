// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TicketJournal.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class CommandDispatcher;
class ControlChannel;
class HandheldLink;
class ServerContext;
class TestInvioComande;
class TicketDelivery;

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
    // Start-up: the tickets the print journal still owes (see TicketDelivery::recupera), then, marked
    // as reprints, those of open orders confirmed within `[PlikoServer] RecoverTicketsMinutes` (15;
    // 0 = off) whose lines were neither printed nor journalled. Returns how many printed.
    int ristampaComandeInSospeso(ServerContext &context);
    // pliko-ctl tickets (what is owed) and reprint ORDER [ZONE].
    void registraComandi(ControlChannel &channel);
    // Tries the tickets that did not print again now; how many printed.
    int riprovaOra();
    // What the print journal still owes, oldest first (pliko-ctl tickets and the main window's list);
    // nullopt when the database cannot be read (or did not answer within a few seconds).
    std::optional<QList<TicketJournal::Biglietto>> daStampare();
    // An order's tickets printed again in full, marked as reprints (one zone, or all): how many
    // printed, -1 when the order has none journalled there; nullopt when the database is away.
    std::optional<int> ristampa(qint32 comanda, std::optional<qint32> zona);
    int secondiFailover();
    // The kitchen tickets' journal and delivery (kitchen screens hear of new tickets from it).
    TicketDelivery &consegna();
    // Told when the set of zones whose printer fails changes (the tray shows a warning).
    void setAvvisoZona(std::function<void(const QList<qint32> &zoneGuaste)> avviso) { m_avvisoZona = std::move(avviso); }

private:
    struct Parts;
    void avviaRiprova();
    // Runs `job` on the database thread and waits for it, bounded; false when it did not finish.
    bool sulDatabase(const std::function<void()> &job);
    std::unique_ptr<Parts> m_parts;
    CommandDispatcher &m_dispatcher;
    ServerContext &m_context;
    std::function<void(const QList<qint32> &)> m_avvisoZona;
};
