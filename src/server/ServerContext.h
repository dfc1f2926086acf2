// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"
#include "OperatorUi.h"
#include "Registry.h"
#include "ServerStats.h"
#include "clsDatabase.h"
#include "modPlikoServer.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class AccessPoint;

// What the server's parts share, created once by the program and passed down: the configuration
// (the registry's place), the operator interface, the global database object and its helpers, the
// clock, the access point, and the values start-up sets for everyone (database path, temporary
// folder, whether the radio service runs).
class ServerContext
{
public:
    ServerContext(std::unique_ptr<Registry> registry, std::unique_ptr<OperatorUi> ui,
                  std::unique_ptr<AccessPoint> accessPoint, std::unique_ptr<Clock> clock = {});
    ~ServerContext();
    ServerContext(const ServerContext &) = delete;
    ServerContext &operator=(const ServerContext &) = delete;

    Registry &registry() { return *m_registry; }
    OperatorUi &ui() { return *m_ui; }
    clsDatabase &database() { return m_database; }
    modPlikoServer &server() { return m_server; }
    AccessPoint &accessPoint() { return *m_accessPoint; }
    const Clock &clock() const { return *m_clock; }

    // Set at start-up.
    QString databasePath;
    QString temporaryFolder;   // ends with "QM9Temp/"
    bool nanoActive = false;   // the radio service runs
    bool testRunning = false;  // the order-sending test is open
    ServerStats stats;         // what the server has done since it started

    // Filled in by the radio service once it exists: starts its poll timer; shows its window.
    std::function<void()> startNanoPolling;
    std::function<void()> showNanoWindow;

    // Work on the shared database goes to the database thread (ServerCore sets these): queued in
    // order, or waited for at most `bound` (false when it had not finished; it still runs later).
    // Unset, the work runs in place.
    std::function<void(std::function<void()>)> runOnDatabase;
    std::function<bool(std::function<void()>, std::chrono::milliseconds bound)> callOnDatabase;

private:
    bool m_clockGiven;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<OperatorUi> m_ui;
    std::unique_ptr<AccessPoint> m_accessPoint;
    std::unique_ptr<Clock> m_clock;
    clsDatabase m_database;
    modPlikoServer m_server;
};
