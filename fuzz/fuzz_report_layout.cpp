// SPDX-License-Identifier: GPL-3.0-or-later
// The report layout parser: any file text gives a layout or a fault told as "file:line: what".
// Each report the standard file names is asked for, so a mutated file reaches every section.
#include "FuzzSupport.h"
#include "LayoutFile.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::initialise();
    const QByteArray xml(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &name : {u"Comanda"_s, u"Comanda SubReport"_s, u"Preconto"_s, u"Preconto SubReport"_s,
                                u"Messaggio Cucina"_s}) {
        QString error;
        if (!LayoutFile::parse(xml, name, u"fuzz.xml"_s, &error) && error.isEmpty())
            __builtin_trap(); // a refusal always says why
    }
    return 0;
}
