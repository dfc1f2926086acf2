// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerStats.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
// A label value in the exposition format: backslash, double quote and newline escaped.
QString labelValue(const QString &text)
{
    QString v = text;
    v.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s).replace(u'\n', u"\\n"_s);
    return v;
}

void family(QString &out, const char16_t *name, const char16_t *type, const char16_t *help)
{
    out += u"# HELP "_s + QString::fromUtf16(name) + u' ' + QString::fromUtf16(help) + u'\n';
    out += u"# TYPE "_s + QString::fromUtf16(name) + u' ' + QString::fromUtf16(type) + u'\n';
}

void sample(QString &out, const char16_t *name, const QString &labels, qint64 value)
{
    out += QString::fromUtf16(name);
    if (!labels.isEmpty())
        out += u'{' + labels + u'}';
    out += u' ' + QString::number(value) + u'\n';
}
} // namespace

void ServerStats::ticketPrinted(double seconds, bool failover)
{
    ++m_ticketsPrinted;
    m_ticketSecondsSum += std::max(seconds, 0.0);
    if (failover)
        ++m_ticketsFailover;
    for (qsizetype i = 0; i < m_ticketBuckets.size(); ++i)
        if (seconds <= TicketBuckets[i])
            ++m_ticketBuckets[i];
}

void ServerStats::printJob(const QString &printer, bool ok, const QString &error)
{
    PrinterCount &c = m_printers[printer];
    ++c.jobs;
    if (!ok) {
        ++c.failures;
        c.lastError = error;
    }
}

QStringList ServerStatus::statusLines() const
{
    QStringList lines;
    lines << u"avviato: "_s + startedAt.toString(Qt::ISODate)
          << u"in servizio da: "_s + QString::number(uptimeSeconds) + u" s"_s
          << u"servizio: "_s + service
          << u"slot in uso: "_s + QString::number(slotsInUse) + u'/' + QString::number(slotsTotal)
          << u"richieste in corso: "_s + QString::number(requestsInProgress)
          << u"richieste scartate: "_s + QString::number(requestsRejected);
    QStringList byCommand;
    for (auto it = stats.requests().begin(); it != stats.requests().end(); ++it)
        byCommand << it.key() + u'=' + QString::number(it.value());
    lines << u"richieste per comando: "_s + (byCommand.isEmpty() ? u"nessuna"_s : byCommand.join(u", "_s))
          << u"comande registrate: "_s + QString::number(stats.ordersRecorded())
          << u"comande rifiutate: "_s + QString::number(stats.ordersRefused())
          << u"connessioni rifiutate: "_s + QString::number(stats.connectionsRefused());
    for (auto it = stats.printers().begin(); it != stats.printers().end(); ++it) {
        QString line = u"stampante "_s + it.key() + u": "_s + QString::number(it->jobs) + u" lavori, "_s
                       + QString::number(it->failures) + u" non riusciti"_s;
        if (!it->lastError.isEmpty())
            line += u" (ultimo errore: "_s + it->lastError + u')';
        lines << line;
    }
    lines << u"database: "_s + databasePath + u" ("_s
                 + (databaseOpen ? u"aperto"_s : databasePresent ? u"chiuso"_s : u"non trovato"_s) + u')'
          << u"Duvu: "_s + (duvuState.isEmpty() ? (duvuActive ? u"attivo"_s : u"non attivo"_s) : duvuState);
    return lines;
}

QString ServerStatus::prometheusText() const
{
    QString out;
    family(out, u"pliko_start_time_seconds", u"gauge", u"Start time of the server, seconds since the Unix epoch.");
    sample(out, u"pliko_start_time_seconds", {}, startedAt.toSecsSinceEpoch());
    family(out, u"pliko_uptime_seconds", u"gauge", u"Seconds since the server started.");
    sample(out, u"pliko_uptime_seconds", {}, uptimeSeconds);
    family(out, u"pliko_service_info", u"gauge", u"The handheld service that runs (palmari, duvu or nessuno).");
    sample(out, u"pliko_service_info", u"service=\""_s + labelValue(service) + u'"', 1);
    family(out, u"pliko_slots_in_use", u"gauge", u"Handheld connection slots in use.");
    sample(out, u"pliko_slots_in_use", {}, slotsInUse);
    family(out, u"pliko_slots_total", u"gauge", u"Handheld connection slots available.");
    sample(out, u"pliko_slots_total", {}, slotsTotal);
    family(out, u"pliko_requests_in_progress", u"gauge", u"Handheld requests being handled now.");
    sample(out, u"pliko_requests_in_progress", {}, requestsInProgress);
    family(out, u"pliko_requests_total", u"counter", u"Handheld requests handled, by command word.");
    for (auto it = stats.requests().begin(); it != stats.requests().end(); ++it)
        sample(out, u"pliko_requests_total", u"command=\""_s + labelValue(it.key()) + u'"', qint64(it.value()));
    family(out, u"pliko_requests_rejected_total", u"counter", u"Handheld requests rejected as unreadable.");
    sample(out, u"pliko_requests_rejected_total", {}, qint64(requestsRejected));
    family(out, u"pliko_connections_refused_total", u"counter",
           u"Handheld connections refused (address not allowed, no free slot).");
    sample(out, u"pliko_connections_refused_total", {}, qint64(stats.connectionsRefused()));
    family(out, u"pliko_orders_recorded_total", u"counter", u"Orders recorded in the database.");
    sample(out, u"pliko_orders_recorded_total", {}, qint64(stats.ordersRecorded()));
    family(out, u"pliko_orders_refused_total", u"counter", u"Orders that could not be recorded.");
    sample(out, u"pliko_orders_refused_total", {}, qint64(stats.ordersRefused()));
    family(out, u"pliko_print_jobs_total", u"counter", u"Print jobs handed to each printer.");
    for (auto it = stats.printers().begin(); it != stats.printers().end(); ++it)
        sample(out, u"pliko_print_jobs_total", u"printer=\""_s + labelValue(it.key()) + u'"', qint64(it->jobs));
    family(out, u"pliko_print_failures_total", u"counter", u"Print jobs each printer did not accept.");
    for (auto it = stats.printers().begin(); it != stats.printers().end(); ++it)
        sample(out, u"pliko_print_failures_total", u"printer=\""_s + labelValue(it.key()) + u'"', qint64(it->failures));
    family(out, u"pliko_tickets_owed", u"gauge", u"Kitchen tickets each zone still owes (owed, sent or failed).");
    for (auto it = stats.ticketsOwed().begin(); it != stats.ticketsOwed().end(); ++it)
        sample(out, u"pliko_tickets_owed", u"zone=\""_s + labelValue(it.key()) + u'"', it.value());
    family(out, u"pliko_tickets_failed_total", u"counter", u"Kitchen ticket attempts that did not print.");
    sample(out, u"pliko_tickets_failed_total", {}, qint64(stats.ticketsFailed()));
    family(out, u"pliko_tickets_failover_total", u"counter", u"Kitchen tickets printed on a zone's backup printer.");
    sample(out, u"pliko_tickets_failover_total", {}, qint64(stats.ticketsFailover()));
    family(out, u"pliko_ticket_print_seconds", u"histogram", u"Seconds from an order's commit to its ticket printed.");
    for (qsizetype i = 0; i < stats.ticketBuckets().size(); ++i)
        sample(out, u"pliko_ticket_print_seconds_bucket",
               u"le=\""_s + QString::number(ServerStats::TicketBuckets[i]) + u'"', qint64(stats.ticketBuckets()[i]));
    sample(out, u"pliko_ticket_print_seconds_bucket", u"le=\"+Inf\""_s, qint64(stats.ticketsPrinted()));
    out += u"pliko_ticket_print_seconds_sum "_s + QString::number(stats.ticketSecondsSum(), 'f', 3) + u'\n';
    sample(out, u"pliko_ticket_print_seconds_count", {}, qint64(stats.ticketsPrinted()));
    family(out, u"pliko_database_open", u"gauge", u"1 while the shared database is open.");
    sample(out, u"pliko_database_open", {}, databaseOpen ? 1 : 0);
    family(out, u"pliko_database_present", u"gauge", u"1 when the database file is where LastDBPath says.");
    sample(out, u"pliko_database_present", {}, databasePresent ? 1 : 0);
    family(out, u"pliko_duvu_active", u"gauge", u"1 while the Duvu radio service runs.");
    sample(out, u"pliko_duvu_active", {}, duvuActive ? 1 : 0);
    return out;
}
