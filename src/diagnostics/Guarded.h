// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CallTrace.h"
#include "ErrorRoutine.h"

#include <exception>

// Runs an event handler inside its trace scope and hands any fault it throws to the common error
// routine, so no exception ever unwinds into the event loop.
namespace diagnostics {

template<typename F>
bool runGuarded(const char *module, const char *procedure, Where where, F &&handler)
{
    const TraceScope trace(module, procedure);
    try {
        handler();
        return true;
    } catch (const std::exception &e) {
        capture(ErrInternal, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        capture(ErrInternal, QStringLiteral("eccezione sconosciuta"));
    }
    erroreComune({}, QString::fromLatin1(module) + u'.' + QString::fromLatin1(procedure), where);
    return false;
}

// A button or menu click: runs once at a time (a second click while it runs does nothing), traced,
// and a fault restarts the server through the routine.
template<typename F>
void runClick(const char *key, const char *module, const char *procedure, F &&handler)
{
    const ClickGuard guard(key);
    if (!guard.entered())
        return;
    runGuarded(module, procedure, Where::Outside, std::forward<F>(handler));
}

} // namespace diagnostics
