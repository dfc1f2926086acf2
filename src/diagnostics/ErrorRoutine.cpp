// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorRoutine.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcFault, "pliko.fault")

namespace diagnostics {

namespace {
FaultHandler &handler()
{
    static FaultHandler h;
    return h;
}
Fault &last()
{
    static Fault f;
    return f;
}
} // namespace

void reportFault(const QString &label, const QString &text, int line)
{
    qCCritical(lcFault).noquote() << label << "-" << text << "(line" << line << ")";
    last() = Fault{label, text, line};
    if (handler())
        handler()(last());
}

FaultHandler setFaultHandler(FaultHandler h)
{
    return std::exchange(handler(), std::move(h));
}

Fault lastFault()
{
    return last();
}

} // namespace diagnostics
