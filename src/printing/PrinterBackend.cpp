// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrinterBackend.h"

#include "CupsPrinter.h"
#include "Registry.h"
#include "SpoolPrinter.h"

using namespace Qt::StringLiterals;

std::unique_ptr<PrinterBackend> PrinterBackend::create(const Registry &registry)
{
    if (registry.option(u"PrinterBackend"_s, u"spool"_s).compare(u"cups"_s, Qt::CaseInsensitive) == 0)
        return std::make_unique<CupsPrinter>(registry.option(u"CupsServer"_s));
    return std::make_unique<SpoolPrinter>(registry.option(u"PrintSpoolDir"_s));
}
