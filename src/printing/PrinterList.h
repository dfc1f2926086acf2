// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class Registry;

// The printers an operator can choose from, as the configured backend knows them: the CUPS queues,
// or the printer folders of the spool directory. Sorted; empty when there are none (or no CUPS).
QStringList installedPrinters(const Registry &registry);
