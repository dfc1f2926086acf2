// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ErrorRecord.h"

#include <QString>

class PrinterBackend;

// Prints the report "Segnalazione Errore" of the layout file ErrorsReport.xml: customer, module,
// version, operating system, error and comment of a crash report, for the operator to hand on.
bool stampaSegnalazioneErrore(const diagnostics::ErrorRecord &record, const QString &customerId,
                              const QString &layoutFile, PrinterBackend &backend, const QString &printer,
                              QString *error);
