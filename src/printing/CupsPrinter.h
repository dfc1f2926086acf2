// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PrinterBackend.h"

// A printer as a CUPS queue of the local spooler (or of the server CUPS_SERVER or the option
// CupsServer names). A queue that does not exist cannot be selected. A raw queue receives the
// ESC/POS rendition of the document (a thermal printer on a socket); any other queue the PDF.
class CupsPrinter : public PrinterBackend
{
public:
    explicit CupsPrinter(const QString &server = {});

    bool exists(const QString &printer, QString *error) override;
    bool submit(const QString &printer, const RenderedDocument &doc, const QString &title, QString *error) override;
    QString kind() const override { return QStringLiteral("cups"); }

    // Jobs are followed through the scheduler: a queue stopped, or a printer off or out of paper,
    // keeps a job pending. A job that is no longer listed (history purged) is Unknown; a scheduler
    // that cannot be asked leaves it Pending.
    bool tracksJobs() const override { return true; }
    JobState jobState(const QString &job) override;
    bool cancelJob(const QString &job) override;
    // Whether the queue passes jobs on untouched (no driver).
    bool isRaw(const QString &printer);
};
