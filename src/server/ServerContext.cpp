// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerContext.h"

#include "AccessPoint.h"
#include "NullAccessPoint.h"
#include "modGestioneTipiDato.h"

ServerContext::ServerContext(std::unique_ptr<Registry> registry, std::unique_ptr<OperatorUi> ui,
                             std::unique_ptr<AccessPoint> accessPoint, std::unique_ptr<Clock> clock)
    : m_clockGiven(clock != nullptr),
      m_registry(std::move(registry)),
      m_ui(ui ? std::move(ui) : std::make_unique<OperatorUi>()),
      m_accessPoint(accessPoint ? std::move(accessPoint) : std::make_unique<NullAccessPoint>()),
      m_clock(clock ? std::move(clock) : std::make_unique<SystemClock>()),
      m_database(m_ui.get()),
      m_server(m_database)
{
    // A clock given by the program (or a test) becomes everyone's "now"; without one the regional
    // settings keep theirs.
    if (m_clockGiven)
        regional().clock = m_clock.get();
}

ServerContext::~ServerContext()
{
    if (m_clockGiven && regional().clock == m_clock.get())
        regional().clock = nullptr;
    while (m_database.isOpened())
        m_database.closeDB();
}
