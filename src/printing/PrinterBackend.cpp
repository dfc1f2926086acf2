// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrinterBackend.h"

#include "Registry.h"
#include "SpoolPrinter.h"
#ifdef PLIKO_HAVE_CUPS
#include "CupsPrinter.h"
#else
#include "ErrorRoutine.h"
#endif

using namespace Qt::StringLiterals;

std::unique_ptr<PrinterBackend> PrinterBackend::create(const Registry &registry)
{
    if (registry.option(u"PrinterBackend"_s, u"spool"_s).compare(u"cups"_s, Qt::CaseInsensitive) == 0) {
#ifdef PLIKO_HAVE_CUPS
        return std::make_unique<CupsPrinter>(registry.option(u"CupsServer"_s));
#else
        diagnostics::reportFault(
            u"PrinterBackend"_s, u"questa versione è senza CUPS: si stampa nelle cartelle di stampa"_s);
#endif
    }
    return std::make_unique<SpoolPrinter>(registry.option(u"PrintSpoolDir"_s));
}
