// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceSupervisor.h"
#include "PgEngine.h"

#include "CommandDispatcher.h"
#include "ConfigCheck.h"
#include "HandheldServer.h"
#include "LogSetup.h"
#include "MetricsServer.h"
#include "ServerContext.h"
#include "ServerCore.h"
#include "modGestioneTipiDato.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <memory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcService, "pliko.service")

namespace {
// Options read only at start: the database the services hold, the serial link, the control
// socket and the crash report settings.
bool needsRestart(const QString &section, const QString &name)
{
    if (section == Registry::BackOfficeKey)
        return name == u"LastDBPath"_s;
    static const QStringList atStart = {u"AccessPointBaud"_s, u"ControlSocket"_s, u"CrashReportDir"_s,
                                        u"CrashReportUrl"_s, u"ListenAddress"_s};
    return atStart.contains(name) || (name.startsWith(u"Com"_s) && name.size() > 3 && name[3].isDigit());
}

QString shown(const QVariant &v, bool found)
{
    return found ? u"\""_s + tipi::toText(v) + u'"' : u"(assente)"_s;
}

constexpr int HandheldSlots = HandheldServer::SlotCount - HandheldServer::FirstHandheldSlot;
} // namespace

ServiceSupervisor::ServiceSupervisor(ServerCore &core, ServerContext &context, QObject *parent)
    : QObject(parent),
      m_core(core),
      m_ctx(context),
      m_metrics(new MetricsServer([this] { return status().prometheusText(); }, this))
{
    m_ctx.stats.setStartedAt(QDateTime::currentDateTime());
    // Told on the database thread; carried with the request's reply, so that the reply finds its
    // request already noted. Run there, these touch only what outlives the dispatcher (its core, the
    // counters), never this object, which the main thread may be ending.
    connect(
        &core.dispatcher(), &CommandDispatcher::requestHandled, this,
        [core = &core, self = QPointer(this)](const QString &word, int index, const QString &rest) {
            core->onNetwork([self, word, index, rest] {
                if (self) {
                    self->m_ctx.stats.requestHandled(word);
                    self->m_requests.insert(index, {word, rest});
                }
            });
        },
        Qt::DirectConnection);
    connect(
        &core.dispatcher(), &CommandDispatcher::requestTimed, this,
        [stats = &m_ctx.stats](const QString &word, double seconds) {
            stats->apply([word, seconds](ServerStats &s) { s.requestTimed(word, seconds); });
        },
        Qt::DirectConnection);
    connect(&core.wsServer(), &HandheldServer::replied, this, &ServiceSupervisor::onReplied);
    connect(&core.wsServer(), &HandheldServer::slotClosed, this, [this](int index) { m_requests.remove(index); });
    connect(&core.wsServer(), &HandheldServer::connectionRefused, this, [this] { m_ctx.stats.connectionRefused(); });
    connect(&m_statusTimer, &QTimer::timeout, this, [this] { m_notifier.status(statusSummary()); });
}

ServiceSupervisor::~ServiceSupervisor() = default;

void ServiceSupervisor::started()
{
    m_metricsAddress = m_ctx.registry().option(u"MetricsAddress"_s);
    if (!m_metricsAddress.isEmpty()) {
        if (m_metrics->listen(m_metricsAddress))
            qCInfo(lcService).noquote() << u"metriche su http://"_s + m_metricsAddress + u"/metrics"_s;
        else
            qCWarning(lcService).noquote() << "metriche non attive su" << m_metricsAddress << ":" << m_metrics->error();
    }
    m_notifier.ready(statusSummary());
    if (m_notifier.startWatchdog())
        qCInfo(lcService) << "watchdog di systemd ogni" << m_notifier.watchdogInterval().count() / 1000 << "ms";
    if (SystemdNotifier::underServiceManager())
        m_statusTimer.start(std::chrono::seconds(30));
}

void ServiceSupervisor::stopping()
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_statusTimer.stop();
    m_notifier.stopping();
    m_metrics->stop();
}

ServiceSupervisor::ReloadResult ServiceSupervisor::reload()
{
    ReloadResult result;
    m_notifier.reloading();
    Registry &current = m_ctx.registry();
    auto fresh = std::make_unique<Registry>(current.path());
    result.problems = ConfigCheck::fileProblems(*fresh);
    if (!result.problems.isEmpty()) {
        for (const QString &p : std::as_const(result.problems))
            qCWarning(lcService).noquote() << "configurazione non ricaricata:" << p;
        qCWarning(lcService) << "resta in uso la configurazione precedente";
        m_notifier.ready(statusSummary());
        return result;
    }
    const ServerOptions options = ServerOptions::read(*fresh, nullptr);

    for (const QString &section : {Registry::BackOfficeKey, Registry::OwnKey}) {
        QStringList names = current.names(section) + fresh->names(section);
        names.removeDuplicates();
        for (const QString &name : std::as_const(names)) {
            bool had = false;
            bool has = false;
            const QVariant before = current.value(section, name, &had);
            const QVariant after = fresh->value(section, name, &has);
            if (had == has && tipi::toText(before) == tipi::toText(after))
                continue;
            const QString line = name + u": "_s + shown(before, had) + u" -> "_s + shown(after, has);
            (needsRestart(section, name) ? result.needRestart : result.changes).append(line);
        }
    }

    // The new file takes the old one's place; printers, the backend and the zones are read from it
    // at the next print, so a ticket already printing finishes on the printer it started on.
    current.swap(*fresh);
    regional().locale = options.locale;
    regional().decimals = options.decimals;
    logsetup::applyLogLevel(options.logLevel);
    m_core.wsServer().setClientFilter(options.clients);
    m_core.wsServer().setIdleTimeout(options.idleTimeout);
    m_core.dispatcher().setDatabaseLinger(options.databaseLinger);
    m_core.databaseThread().setBound(options.databaseRequest);
    if (options.metricsAddress != m_metricsAddress) {
        m_metricsAddress = options.metricsAddress;
        if (!m_metrics->listen(m_metricsAddress))
            qCWarning(lcService).noquote() << "metriche non attive su" << m_metricsAddress << ":" << m_metrics->error();
    }
    result.applied = true;

    if (result.changes.isEmpty() && result.needRestart.isEmpty())
        qCInfo(lcService) << "configurazione ricaricata: nessuna modifica";
    for (const QString &c : std::as_const(result.changes))
        qCInfo(lcService).noquote() << "configurazione ricaricata:" << c;
    for (const QString &c : std::as_const(result.needRestart))
        qCWarning(lcService).noquote() << "configurazione ricaricata:" << c << "- effetto al prossimo avvio";
    for (const QString &p : ConfigCheck::resourceProblems(current))
        qCWarning(lcService).noquote() << "configurazione:" << p;
    m_notifier.ready(statusSummary());
    return result;
}

QString ServiceSupervisor::eventLine(int index, const QString &peer, const QString &command, const QString &rest,
                                     const QString &reply, qint32 orderKey)
{
    // The reply kind is its first field; what follows can be a whole table plan.
    QString kind = reply.section(u'|', 0, 0).trimmed();
    QString line = peer + u" slot "_s + QString::number(index) + u": "_s + command + u" -> "_s + kind;
    if (command == u"Comanda"_s) {
        // opening moment | tables | waiter | covers | ... ; then one record per line ("M|...").
        const QString header = rest.section(u';', 0, 0);
        const int righe = int(rest.count(u";M|"_s) + (rest.startsWith(u"M|"_s) ? 1 : 0));
        line += u" (comanda "_s + (orderKey > 0 ? QString::number(orderKey) : u"-"_s) + u", tavolo "_s
                + header.section(u'|', 1, 1) + u", "_s + QString::number(righe) + u" righe)"_s;
    }
    if (kind != u"ComandaOK"_s && kind.startsWith(u"errore"_s, Qt::CaseInsensitive))
        line += u": "_s + reply.section(u'|', 1).trimmed().left(120);
    return line;
}

void ServiceSupervisor::onReplied(int index, const QString &peer, const QString &text)
{
    const auto it = m_requests.find(index);
    if (it == m_requests.end())
        return;
    const qint32 key = it->first == u"Comanda"_s && text.startsWith(u"ComandaOK"_s) ? m_ctx.stats.lastOrderKey() : 0;
    m_ctx.ui().addStatus(eventLine(index, peer, it->first, it->second, text, key));
    m_requests.erase(it);
}

ServerStatus ServiceSupervisor::status() const
{
    ServerStatus s;
    s.startedAt = m_ctx.stats.startedAt();
    s.uptimeSeconds = s.startedAt.secsTo(QDateTime::currentDateTime());
    switch (m_core.service()) {
    case ServerCore::Service::Handhelds: s.service = u"palmari"_s; break;
    case ServerCore::Service::Nano: s.service = u"duvu"_s; break;
    case ServerCore::Service::None: s.service = u"nessuno"_s; break;
    }
    s.slotsInUse = m_core.wsServer().connectionsInUse();
    s.slotsTotal = HandheldSlots;
    s.requestsInProgress = m_core.dispatcher().activeRequests();
    s.requestsRejected = quint64(m_core.dispatcher().rejectedRequests());
    s.databasePath = PgEngine::isUri(m_ctx.databasePath) ? PgEngine::displayUri(m_ctx.databasePath)
                                                         : m_ctx.databasePath;
    s.databaseOpen = m_ctx.database().isOpened();
    s.databaseUp = !m_core.dispatcher().databaseDown();
    // A database server is present when it answers; a file when it is where the path says.
    s.databasePresent = PgEngine::isUri(m_ctx.databasePath) ? s.databaseOpen
                                                            : !s.databasePath.isEmpty() && QFileInfo::exists(s.databasePath);
    s.duvuActive = m_ctx.nanoActive;
    s.stats = m_ctx.stats;
    return s;
}

QString ServiceSupervisor::statusSummary() const
{
    const ServerStatus s = status();
    return u"servizio "_s + s.service + u", "_s + QString::number(s.slotsInUse) + u" slot in uso, "_s
           + QString::number(s.stats.ordersRecorded())
           + (s.stats.ordersRecorded() == 1 ? u" comanda registrata"_s : u" comande registrate"_s);
}
