// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerStats.h"
#include "ThreadMailbox.h"

#include <QCoreApplication>
#include <QThread>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif
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

void sample(QString &out, const QString &name, const QString &labels, qint64 value)
{
    out += name;
    if (!labels.isEmpty())
        out += u'{' + labels + u'}';
    out += u' ' + QString::number(value) + u'\n';
}

void sample(QString &out, const char16_t *name, const QString &labels, qint64 value)
{
    sample(out, QString::fromUtf16(name), labels, value);
}

void sampleReal(QString &out, const QString &name, const QString &labels, double value)
{
    out += name;
    if (!labels.isEmpty())
        out += u'{' + labels + u'}';
    out += u' ' + QString::number(value, 'g', 17) + u'\n';
}

// One labelled series of a histogram: its cumulative buckets, +Inf, sum and count.
template <size_t N>
void histogramSeries(QString &out, const QString &name, const QString &labels, const std::array<double, N> &bounds,
                     const std::array<quint64, N> &buckets, quint64 count, double sum)
{
    const QString bucket = name + u"_bucket"_s;
    for (size_t i = 0; i < N; ++i)
        sample(out, bucket, labels + u",le=\""_s + QString::number(bounds[i]) + u'"', qint64(buckets[i]));
    sample(out, bucket, labels + u",le=\"+Inf\""_s, qint64(count));
    sampleReal(out, name + u"_sum"_s, labels, sum);
    sample(out, name + u"_count"_s, labels, qint64(count));
}

// The process metrics the official Prometheus clients export, from /proc/self (where the system has
// one): CPU time, memory, file descriptors and the start time.
void processMetrics(QString &out, const QDateTime &startedAt)
{
#ifdef Q_OS_LINUX
    QFile statFile(u"/proc/self/stat"_s);
    if (statFile.open(QIODevice::ReadOnly)) {
        // The fields after the command name (which may hold blanks), from field 3 on.
        const QByteArray stat = statFile.readAll();
        const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        const double ticks = double(::sysconf(_SC_CLK_TCK));
        if (f.size() > 21 && ticks > 0) {
            family(out, u"process_cpu_seconds_total", u"counter", u"Total user and system CPU time spent in seconds.");
            sampleReal(out, u"process_cpu_seconds_total"_s, {}, double(f[11].toULongLong() + f[12].toULongLong()) / ticks);
            family(out, u"process_virtual_memory_bytes", u"gauge", u"Virtual memory size in bytes.");
            sample(out, u"process_virtual_memory_bytes", {}, f[20].toLongLong());
            family(out, u"process_resident_memory_bytes", u"gauge", u"Resident memory size in bytes.");
            sample(out, u"process_resident_memory_bytes", {}, f[21].toLongLong() * ::sysconf(_SC_PAGESIZE));
        }
    }
    family(out, u"process_open_fds", u"gauge", u"Number of open file descriptors.");
    sample(out, u"process_open_fds", {},
           QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
        family(out, u"process_max_fds", u"gauge", u"Maximum number of open file descriptors.");
        sample(out, u"process_max_fds", {}, qint64(files.rlim_cur));
    }
#endif
    family(out, u"process_start_time_seconds", u"gauge", u"Start time of the process since unix epoch in seconds.");
    sample(out, u"process_start_time_seconds", {}, startedAt.toSecsSinceEpoch());
}
} // namespace

void ServerStats::apply(std::function<void(ServerStats &)> update)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        update(*this);
        return;
    }
    if (ThreadMailbox *carrier = m_carrier)
        carrier->post([this, update = std::move(update)] { update(*this); });
    else
        QMetaObject::invokeMethod(app, [this, update = std::move(update)] { update(*this); }, Qt::QueuedConnection);
}

void ServerStats::requestTimed(const QString &command, double seconds)
{
    Durations &d = m_durations[command];
    for (size_t i = 0; i < DurationBuckets.size(); ++i) {
        if (seconds <= DurationBuckets[i])
            ++d.buckets[i];
    }
    ++d.count;
    d.sum += seconds;
}

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

void ServerStats::ticketReady(const QString &zone, double seconds)
{
    Ready &r = m_ready[zone];
    seconds = std::max(seconds, 0.0);
    for (size_t i = 0; i < ReadyBuckets.size(); ++i)
        if (seconds <= ReadyBuckets[i])
            ++r.buckets[i];
    ++r.count;
    r.sum += seconds;
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
          << u"comande per canale: tcp "_s + QString::number(stats.ordersRecorded() - stats.radioOrdersRecorded())
                 + u" registrate, "_s + QString::number(stats.ordersRefused() - stats.radioOrdersRefused())
                 + u" rifiutate; radio "_s + QString::number(stats.radioOrdersRecorded()) + u" registrate, "_s
                 + QString::number(stats.radioOrdersRefused()) + u" rifiutate"_s
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
          << u"database raggiungibile: "_s
                 + (databaseUp ? u"sì"_s : u"no (le richieste non vengono servite; verifica ogni secondo)"_s)
          << u"Duvu: "_s + (duvuState.isEmpty() ? (duvuActive ? u"attivo"_s : u"non attivo"_s) : duvuState);
    const ServerStats::Radio radio = stats.radio();
    lines << u"Duvu interrogazioni: "_s + QString::number(radio.polls) + u" ("_s + QString::number(radio.failedPolls)
                 + u" senza risposta); linea: "_s
                 + (radio.lineLost ? u"scollegato"_s : radio.linkUp ? u"collegato"_s : u"non collegato"_s)
                 + (radio.transferPercent >= 0 ? u"; trasferimento "_s + QString::number(radio.transferPercent) + u'%'
                                               : QString());
    return lines;
}

QString ServerStatus::prometheusText() const
{
    QString out;
    family(out, u"pliko_build_info", u"gauge", u"1, with the version of the server and of Qt as labels.");
    sample(out, u"pliko_build_info",
           u"version=\""_s + labelValue(QCoreApplication::applicationVersion()) + u"\",qt_version=\""_s
               + labelValue(QLibraryInfo::version().toString()) + u'"',
           1);
    processMetrics(out, startedAt);
    family(out, u"pliko_start_time_seconds", u"gauge", u"Start time of the server, seconds since the Unix epoch.");
    sample(out, u"pliko_start_time_seconds", {}, startedAt.toSecsSinceEpoch());
    family(out, u"pliko_uptime_seconds", u"gauge", u"Seconds since the server started.");
    sample(out, u"pliko_uptime_seconds", {}, uptimeSeconds);
    family(out, u"pliko_service_info", u"gauge", u"The handheld service that runs (palmari, duvu or nessuno).");
    sample(out, u"pliko_service_info", u"service=\""_s + labelValue(service) + u'"', 1);
    family(out, u"pliko_slots_in_use", u"gauge", u"Handheld connection slots in use.");
    sample(out, u"pliko_slots_in_use", {}, slotsInUse);
    family(out, u"pliko_slots_capacity", u"gauge", u"Handheld connection slots available.");
    sample(out, u"pliko_slots_capacity", {}, slotsTotal);
    family(out, u"pliko_requests_in_progress", u"gauge", u"Handheld requests being handled now.");
    sample(out, u"pliko_requests_in_progress", {}, requestsInProgress);
    family(out, u"pliko_requests_total", u"counter", u"Handheld requests handled, by command word.");
    for (auto it = stats.requests().begin(); it != stats.requests().end(); ++it)
        sample(out, u"pliko_requests_total", u"command=\""_s + labelValue(it.key()) + u'"', qint64(it.value()));
    family(out, u"pliko_request_duration_seconds", u"histogram", u"Time to handle a handheld request, by command word.");
    for (auto it = stats.durations().begin(); it != stats.durations().end(); ++it)
        histogramSeries(out, u"pliko_request_duration_seconds"_s, u"command=\""_s + labelValue(it.key()) + u'"',
                        ServerStats::DurationBuckets, it->buckets, it->count, it->sum);
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
    family(out, u"pliko_ticket_ready_seconds", u"histogram",
           u"Seconds from a round to its ticket bumped on the zone's kitchen screen.");
    for (auto it = stats.ready().begin(); it != stats.ready().end(); ++it)
        histogramSeries(out, u"pliko_ticket_ready_seconds"_s, u"zone=\""_s + labelValue(it.key()) + u'"',
                        ServerStats::ReadyBuckets, it->buckets, it->count, it->sum);
    family(out, u"pliko_database_open", u"gauge", u"1 while the shared database is open.");
    sample(out, u"pliko_database_open", {}, databaseOpen ? 1 : 0);
    family(out, u"pliko_database_up", u"gauge",
           u"1 while the database answers; 0 from a request it failed for being out of reach until a probe finds it back.");
    sample(out, u"pliko_database_up", {}, databaseUp ? 1 : 0);
    family(out, u"pliko_database_present", u"gauge", u"1 when the database file is where LastDBPath says.");
    sample(out, u"pliko_database_present", {}, databasePresent ? 1 : 0);
    family(out, u"pliko_duvu_active", u"gauge", u"1 while the Duvu radio service runs.");
    sample(out, u"pliko_duvu_active", {}, duvuActive ? 1 : 0);
    const ServerStats::Radio radio = stats.radio();
    family(out, u"pliko_orders_by_path_total", u"counter", u"Orders recorded, by the path they came (tcp, radio).");
    sample(out, u"pliko_orders_by_path_total", u"path=\"tcp\""_s,
           qint64(stats.ordersRecorded() - stats.radioOrdersRecorded()));
    sample(out, u"pliko_orders_by_path_total", u"path=\"radio\""_s, qint64(stats.radioOrdersRecorded()));
    family(out, u"pliko_orders_refused_by_path_total", u"counter",
           u"Orders that could not be recorded, by the path they came (tcp, radio).");
    sample(out, u"pliko_orders_refused_by_path_total", u"path=\"tcp\""_s,
           qint64(stats.ordersRefused() - stats.radioOrdersRefused()));
    sample(out, u"pliko_orders_refused_by_path_total", u"path=\"radio\""_s, qint64(stats.radioOrdersRefused()));
    family(out, u"pliko_duvu_polls_total", u"counter", u"Polls of the Duvu access point.");
    sample(out, u"pliko_duvu_polls_total", {}, qint64(radio.polls));
    family(out, u"pliko_duvu_polls_failed_total", u"counter", u"Polls the Duvu access point did not answer.");
    sample(out, u"pliko_duvu_polls_failed_total", {}, qint64(radio.failedPolls));
    family(out, u"pliko_duvu_link_up", u"gauge", u"1 while the access point is connected and its port not lost.");
    sample(out, u"pliko_duvu_link_up", {}, radio.linkUp ? 1 : 0);
    family(out, u"pliko_duvu_transfer_percent", u"gauge",
           u"Progress of the database transfer to the access point; -1 when none runs.");
    sample(out, u"pliko_duvu_transfer_percent", {}, radio.transferPercent);
    return out;
}
