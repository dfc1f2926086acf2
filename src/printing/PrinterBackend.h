// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RenderedDocument.h"

#include <QString>
#include <memory>

class Registry;

// Where printed documents go. The configured printer name means a CUPS queue or a folder of the
// spool directory, as [PlikoServer] PrinterBackend says ("cups" or "spool", spool by default).
class PrinterBackend
{
public:
    virtual ~PrinterBackend() = default;

    // Whether the printer can be selected; *error tells why not.
    virtual bool exists(const QString &printer, QString *error) = 0;
    // Hands one document to the printer; false (with *error) when it was not accepted.
    virtual bool submit(const QString &printer, const RenderedDocument &doc, const QString &title,
                        QString *error) = 0;
    virtual QString kind() const = 0;
    // What the last accepted job became: a spool file, a CUPS job number.
    QString lastJob() const { return m_lastJob; }

    // What became of an accepted job (a lastJob() value), where the backend can tell: a spooler may
    // hold a job it took without ever printing it.
    enum class JobState { Unknown, Pending, Completed, Failed };
    virtual bool tracksJobs() const { return false; }
    virtual JobState jobState(const QString &job)
    {
        Q_UNUSED(job);
        return JobState::Unknown;
    }
    // Withdraws a job not printed yet; false when it could not be.
    virtual bool cancelJob(const QString &job)
    {
        Q_UNUSED(job);
        return false;
    }

    static std::unique_ptr<PrinterBackend> create(const Registry &registry);

protected:
    QString m_lastJob;
};
