// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

// The common error routine: where a procedure hands a genuine internal fault (a label, the error
// text and the failing line). It logs the fault and passes it to the installed handler (the
// application reports it to the operator). Bad input never comes here: it is rejected where read.
namespace diagnostics {

struct Fault
{
    QString label;
    QString text;
    int line = 0;
};

using FaultHandler = std::function<void(const Fault &)>;

void reportFault(const QString &label, const QString &text, int line = 0);
// Installs the handler and returns the previous one.
FaultHandler setFaultHandler(FaultHandler handler);
// The most recent fault reported (tests and support read it).
Fault lastFault();

} // namespace diagnostics
