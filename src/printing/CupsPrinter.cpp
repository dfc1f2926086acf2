// SPDX-License-Identifier: GPL-3.0-or-later
#include "CupsPrinter.h"

#include "DocumentWriter.h"

#include <cups/cups.h>

using namespace Qt::StringLiterals;

namespace {
QString lastCupsError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

// A job as lastJob() names it: "<queue>-<job id>".
bool parseJob(const QString &job, QByteArray *queue, int *id)
{
    const qsizetype dash = job.lastIndexOf(u'-');
    bool ok = false;
    *id = dash > 0 ? job.mid(dash + 1).toInt(&ok) : 0;
    *queue = job.left(dash).toUtf8();
    return ok && *id > 0;
}
} // namespace

CupsPrinter::CupsPrinter(const QString &server)
{
    // Setting the server drops the open connection to it, so only a change is set.
    if (!server.isEmpty() && server != QString::fromUtf8(cupsServer()))
        cupsSetServer(server.toUtf8().constData());
}

bool CupsPrinter::exists(const QString &printer, QString *error)
{
    if (printer.isEmpty()) {
        if (error)
            *error = u"manca il nome della stampante"_s;
        return false;
    }
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), nullptr);
    if (!dest) {
        if (error)
            *error = u"coda CUPS \""_s + printer + u"\" non trovata: "_s + lastCupsError();
        return false;
    }
    cupsFreeDests(1, dest);
    return true;
}

bool CupsPrinter::isRaw(const QString &printer)
{
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), nullptr);
    if (!dest)
        return false;
    const char *model = cupsGetOption("printer-make-and-model", dest->num_options, dest->options);
    const bool raw = model && qstrcmp(model, "Local Raw Printer") == 0;
    cupsFreeDests(1, dest);
    return raw;
}

bool CupsPrinter::submit(const QString &printer, const RenderedDocument &doc, const QString &title, QString *error)
{
    if (!exists(printer, error))
        return false;
    const bool raw = isRaw(printer);
    const QByteArray data = raw ? DocumentWriter::escPos(doc) : DocumentWriter::pdf(doc, title);
    const QByteArray name = printer.toUtf8();
    const QByteArray jobTitle = title.toUtf8();
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name.constData(), jobTitle.constData(), 0, nullptr);
    if (job <= 0) {
        if (error)
            *error = u"CUPS ha rifiutato la stampa: "_s + lastCupsError();
        return false;
    }
    const char *format = raw ? CUPS_FORMAT_RAW : CUPS_FORMAT_PDF;
    bool ok = cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), job, jobTitle.constData(), format, 1)
        == HTTP_STATUS_CONTINUE;
    ok = ok && cupsWriteRequestData(CUPS_HTTP_DEFAULT, data.constData(), size_t(data.size())) == HTTP_STATUS_CONTINUE;
    const ipp_status_t finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData());
    if (!ok || finished > IPP_STATUS_OK_CONFLICTING) {
        if (error)
            *error = u"CUPS non ha accettato il documento: "_s + lastCupsError();
        cupsCancelJob(name.constData(), job);
        return false;
    }
    m_lastJob = printer + u'-' + QString::number(job);
    return true;
}

PrinterBackend::JobState CupsPrinter::jobState(const QString &job)
{
    QByteArray queue;
    int id = 0;
    if (!parseJob(job, &queue, &id))
        return JobState::Unknown;
    cups_job_t *jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.constData(), 0, CUPS_WHICHJOBS_ALL);
    if (n < 0 || (n == 0 && cupsLastError() > IPP_STATUS_OK_CONFLICTING))
        return JobState::Pending;
    JobState state = JobState::Unknown;
    for (int i = 0; i < n; ++i) {
        if (jobs[i].id != id)
            continue;
        switch (jobs[i].state) {
        case IPP_JSTATE_COMPLETED:
            state = JobState::Completed;
            break;
        case IPP_JSTATE_CANCELED:
        case IPP_JSTATE_ABORTED:
            state = JobState::Failed;
            break;
        default:
            state = JobState::Pending;
        }
    }
    cupsFreeJobs(n, jobs);
    return state;
}

bool CupsPrinter::cancelJob(const QString &job)
{
    QByteArray queue;
    int id = 0;
    return parseJob(job, &queue, &id)
        && cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), id, 0) <= IPP_STATUS_OK_CONFLICTING;
}
