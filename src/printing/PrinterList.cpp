// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrinterList.h"

#include "Registry.h"

#include <QDir>

#ifdef PLIKO_HAVE_CUPS
#include <cups/cups.h>
#endif

using namespace Qt::StringLiterals;

QStringList installedPrinters(const Registry &registry)
{
    QStringList names;
    if (registry.option(u"PrinterBackend"_s, u"spool"_s).compare(u"cups"_s, Qt::CaseInsensitive) == 0) {
#ifdef PLIKO_HAVE_CUPS
        cups_dest_t *dests = nullptr;
        const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        for (int i = 0; i < count; ++i) {
            if (!dests[i].instance)
                names.append(QString::fromUtf8(dests[i].name));
        }
        cupsFreeDests(count, dests);
#endif
    } else {
        const QString spool = registry.option(u"PrintSpoolDir"_s);
        if (!spool.isEmpty())
            names = QDir(spool).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }
    names.sort(Qt::CaseInsensitive);
    names.removeDuplicates();
    return names;
}
