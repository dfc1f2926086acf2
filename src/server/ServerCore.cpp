// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerCore.h"
#include "PgEngine.h"

#include "AccessPoint.h"
#include "NanoExport.h"
#include "ConfigCheck.h"
#include "Guarded.h"
#include "ServerContext.h"
#include "modGestioneTipiDato.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QSemaphore>
#include <QTimer>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcStart, "pliko.start")

namespace {
// Requests still running at the end get this long to finish (their own waits are bounded at 30 s).
constexpr std::chrono::seconds EndGrace{40};
constexpr int DefaultIdleSeconds = 60;
constexpr qint64 DefaultLingerMs = 2000;
constexpr qint64 DefaultRequestSeconds = 10;

// The handheld's connection as a request handler sees it: from the database thread, the reply and
// the wait for the close go to the network thread by queued calls, in the order they were made.
// What a handler leaves for after the close holds the database (a request in progress) and runs
// on the database thread again.
class QueuedLink final : public HandheldLink
{
public:
    using OnNetwork = std::function<void(std::function<void()>)>;
    QueuedLink(HandheldServer &server, CommandDispatcher &dispatcher, DatabaseThread &thread, OnNetwork onNetwork)
        : m_server(server), m_dispatcher(dispatcher), m_thread(thread), m_onNetwork(std::move(onNetwork))
    {
    }
    int inviaRisposta(const QString &text, int index) override
    {
        m_onNetwork([s = &m_server, text, index] { s->inviaRisposta(text, index); });
        return 1;
    }
    bool aspettaChiusura(int index) override
    {
        if (!m_thread.onThread())
            return m_server.aspettaChiusura(index);
        // No nested loop here: it would run the next request inside this one.
        auto closed = std::make_shared<QSemaphore>();
        m_onNetwork([s = &m_server, index, closed] { s->dopoChiusura(index, [closed] { closed->release(); }); });
        ThreadMailbox::Batch::flush(); // the network thread must see the reply and this wait now
        return closed->tryAcquire(1, int(HandheldWaitMs));
    }
    void dopoChiusura(int index, std::function<void()> then) override
    {
        const bool held = m_dispatcher.hold();
        std::function<void()> work = [this, then = std::move(then), held] {
            m_thread.post([this, then, held] {
                // Printing after the reply belongs to its request: a fault there is that request's fault.
                diagnostics::runGuarded("HandheldServer", "dopoChiusura", diagnostics::Where::Request, then);
                m_dispatcher.release(held);
            });
        };
        m_onNetwork([s = &m_server, index, work] { s->dopoChiusura(index, work); });
    }

private:
    static constexpr qint64 HandheldWaitMs = 31000; // the close wait, and a second more
    HandheldServer &m_server;
    CommandDispatcher &m_dispatcher;
    DatabaseThread &m_thread;
    OnNetwork m_onNetwork;
};

QString temporaryFolderValue()
{
    const QString temp = QFileInfo(QDir::tempPath()).canonicalFilePath();
    return nano::cartellaTemporanea(temp.isEmpty() ? QDir::tempPath() : temp);
}
} // namespace

ServerCore::ServerCore(ServerContext &context, QObject *parent)
    : QObject(parent),
      m_ctx(context),
      m_wsServer(new HandheldServer(&context.ui(), this)),
      // No parent: it moves to the database thread.
      m_dispatcher(std::make_unique<CommandDispatcher>(context.database(), &context.ui())),
      m_dbThread(new DatabaseThread(context.database(), this))
{
    m_link = std::make_unique<QueuedLink>(*m_wsServer, *m_dispatcher, *m_dbThread,
                                          [this](std::function<void()> f) { onNetwork(std::move(f)); });
    m_dispatcher->setLink(m_link.get());
    m_dispatcher->setDropConnection(
        [this](int index) { onNetwork([this, index] { m_wsServer->dropConnection(index); }); });
    m_wsServer->setDeferredDispatch([this](const QString &text, int index) { dispatch(text, index); });
    m_ctx.runOnDatabase = [this](std::function<void()> job) { m_dbThread->post(std::move(job)); };
    m_ctx.stats.setCarrier(&m_toNetwork);
    m_ctx.callOnDatabase = [this](std::function<void()> job, std::chrono::milliseconds bound) {
        return m_dbThread->call(std::move(job), bound);
    };
}

ServerCore::~ServerCore()
{
    m_dbThread->stop();
    m_ctx.stats.setCarrier(nullptr);
    m_ctx.runOnDatabase = nullptr;
    m_ctx.callOnDatabase = nullptr;
}

void ServerCore::onNetwork(std::function<void()> f)
{
    if (QThread::currentThread() == thread())
        f();
    else
        m_toNetwork.post(std::move(f));
}

void ServerCore::dispatch(const QString &text, int index)
{
    const QString word = CommandDispatcher::commandWord(text);
    const bool down = m_dbThread->running() && m_dispatcher->databaseDown();
    if (word == CommandDispatcher::ConnectionTest && m_dbThread->running() && (m_dbThread->pending() > 0 || down)) {
        // The database is busy with another request, or away: the connection test is answered here
        // at once, so the handheld tells a busy server from one that is gone.
        emit m_dispatcher->requestHandled(word, index, text.section(u'|', 2));
        m_wsServer->inviaRisposta(CommandDispatcher::ConnectionTestReply, index);
        m_wsServer->requestDone(index);
        return;
    }
    if (down) {
        // Nothing can be served without the database: the handheld learns at once, as when the
        // database cannot be opened, and the probe looks for it once a second meanwhile.
        qCDebug(lcStart).noquote() << "database non raggiungibile: richiesta" << word << "dello slot" << index
                                   << "non servita";
        m_wsServer->dropConnection(index);
        m_wsServer->requestDone(index);
        return;
    }
    m_dbThread->post([this, text, index, prepared = m_dispatcher->prepare(text)]() mutable {
        m_dispatcher->analizzaDati(text, index, std::move(prepared));
        onNetwork([this, index] { m_wsServer->requestDone(index); });
    });
}

void ServerCore::avviaThreadDatabase()
{
    qint64 seconds = DefaultRequestSeconds;
    const QString text = m_ctx.registry().option(u"DatabaseRequestSeconds"_s);
    if (!text.isEmpty() && (!tipi::parseWhole(text, &seconds) || seconds < 1 || seconds > 3600)) {
        qCWarning(lcStart).noquote() << "DatabaseRequestSeconds non valido:" << text << "- uso" << DefaultRequestSeconds;
        seconds = DefaultRequestSeconds;
    }
    m_dbThread->setBound(std::chrono::seconds(seconds));
    m_dispatcher->setProbeRunner([this](const std::function<void()> &probe) { m_dbThread->runHere(probe); });
    m_dbThread->start({m_dispatcher.get()});
}

bool ServerCore::quiet() const
{
    return m_dispatcher->activeRequests() == 0 && m_dbThread->pending() == 0;
}

int ServerCore::avvia(quint16 port)
{
    Registry &reg = m_ctx.registry();
    OperatorUi &ui = m_ctx.ui();

    m_ctx.nanoActive = false;
    m_ctx.temporaryFolder = temporaryFolderValue();

    const QString localeName = reg.option(u"Locale"_s);
    regional().locale = localeName.isEmpty() ? ServerOptions{}.locale : QLocale(localeName);

    // NumeroDecimali: 2 when it is missing or is not a sensible whole number.
    bool found = false;
    const QString decimalsText = tipi::toText(reg.backOffice(u"NumeroDecimali"_s, &found)).trimmed();
    qint64 decimals = 2;
    if (!found || !tipi::parseWhole(decimalsText, &decimals) || decimals < 0 || decimals > 10) {
        if (found)
            qCWarning(lcStart).noquote() << "NumeroDecimali non valido:" << decimalsText << "- uso 2";
        decimals = 2;
    }
    regional().decimals = int(decimals);

    m_ctx.databasePath = tipi::toText(reg.backOffice(u"LastDBPath"_s));
    m_dispatcher->setDatabasePath(m_ctx.databasePath);

    // Handheld options are checked before anything starts: a wrong network list must not quietly
    // let every address in.
    ClientFilter filter;
    QString badEntry;
    if (!filter.parse(reg.option(u"AllowedClients"_s), &badEntry)) {
        ui.message(u"AllowedClients non valido: "_s + badEntry, OperatorUi::Icon::Critical);
        return 2;
    }
    m_wsServer->setClientFilter(filter);
    QHostAddress listenAddress;
    QString addressError;
    if (!HandheldServer::parseListenAddress(reg.option(u"ListenAddress"_s), &listenAddress, &addressError)) {
        ui.message(u"ListenAddress non valido: "_s + addressError, OperatorUi::Icon::Critical);
        return 2;
    }
    qint64 idleSeconds = DefaultIdleSeconds;
    const QString idleText = reg.option(u"IdleTimeoutSeconds"_s);
    if (!idleText.isEmpty() && (!tipi::parseWhole(idleText, &idleSeconds) || idleSeconds <= 0)) {
        qCWarning(lcStart).noquote() << "IdleTimeoutSeconds non valido:" << idleText << "- uso" << DefaultIdleSeconds;
        idleSeconds = DefaultIdleSeconds;
    }
    m_wsServer->setIdleTimeout(std::chrono::seconds(idleSeconds));
    qint64 lingerMs = DefaultLingerMs;
    const QString lingerText = reg.option(u"DatabaseLingerMs"_s);
    if (!lingerText.isEmpty() && (!tipi::parseWhole(lingerText, &lingerMs) || lingerMs < 0)) {
        qCWarning(lcStart).noquote() << "DatabaseLingerMs non valido:" << lingerText << "- uso" << DefaultLingerMs;
        lingerMs = DefaultLingerMs;
    }
    m_dispatcher->setDatabaseLinger(std::chrono::milliseconds(lingerMs));

    clsDatabase &db = m_ctx.database();
    if (!db.openDB(m_ctx.databasePath)) {
        qCWarning(lcStart).noquote() << "database" << PgEngine::displayUri(m_ctx.databasePath) << ":" << db.lastErrorText();
        ui.message(DatabaseNotFound, OperatorUi::Icon::Critical);
        return 1;
    }

    const qint32 configured = m_ctx.server().leggiVarLong(u"palmare_configurato"_s, 0);
    int status = 0;
    if (configured == 1) {
        // "sulla porta 31512", or "sull'indirizzo 127.0.0.2 porta 31512" with a ListenAddress.
        const QString where = listenAddress == QHostAddress(QHostAddress::Any)
            ? u"sulla porta "_s
            : u"sull'indirizzo "_s + listenAddress.toString() + u" porta "_s;
        if (m_wsServer->listen(listenAddress, port)) {
            m_service = Service::Handhelds;
            m_ctx.testRunning = false;
            qCInfo(lcStart).noquote() << "servizio palmari in ascolto"
                                      << where + QString::number(m_wsServer->serverPort());
        } else {
            ui.message(u"Impossibile attivare il servizio palmari "_s + where + QString::number(port) + u": "_s
                           + m_wsServer->listenError(),
                       OperatorUi::Icon::Critical);
            status = 1;
        }
    } else if (configured == 2) {
        if (apriAccessPoint()) {
            m_service = Service::Nano;
            qCInfo(lcStart) << "servizio Duvu attivo";
        } else {
            ui.message(AccessPointFailedAtStart, OperatorUi::Icon::Warning);
        }
    } else {
        qCInfo(lcStart).noquote() << "palmare_configurato =" << configured << ": nessun servizio attivo";
    }

    // The radio service works from the open database; the handheld service opens it per request.
    if (m_service != Service::Nano)
        db.closeDB();
    return status;
}

bool ServerCore::apriAccessPoint()
{
    QString com = m_ctx.server().leggiVarStr(u"com_nano"_s, {});
    com.remove(u"COM"_s);
    const qint32 port = tipi::toLong(com);
    AccessPoint &ap = m_ctx.accessPoint();
    if (ap.Dll_OpenSerial(port) != 1) {
        qCWarning(lcStart).noquote() << "access point: apertura della porta" << port << "non riuscita";
        return false;
    }
    QByteArray info;
    if (ap.Dll_ReqSysInfo(info) == 0) {
        qCWarning(lcStart).noquote() << "access point sulla porta" << port << "non risponde";
        return false;
    }
    if (m_ctx.startNanoPolling)
        m_ctx.startNanoPolling();
    m_ctx.nanoActive = true;
    return true;
}

bool ServerCore::attivaNano()
{
    clsDatabase &db = m_ctx.database();
    {
        QMutexLocker gate(&db.gate());
        if (!db.isOpened())
            db.openDB(m_ctx.databasePath);
    }
    if (m_ctx.nanoActive)
        return true;
    if (apriAccessPoint()) {
        m_service = Service::Nano;
        return true;
    }
    m_ctx.ui().message(AccessPointFailedByHand, OperatorUi::Icon::Warning);
    return false;
}

void ServerCore::chiudiProgramma()
{
    if (m_ctx.ui().question(QuitQuestion))
        termina(0);
}

void ServerCore::termina(int exitCode)
{
    if (m_ending)
        return;
    m_ending = true;
    m_exitCode = exitCode;
    m_wsServer->stopListening();
    if (quiet()) {
        finish();
        return;
    }
    qCInfo(lcStart).noquote() << "chiusura: attendo" << m_dispatcher->activeRequests() + m_dbThread->pending()
                              << "richieste in corso";
    connect(m_dispatcher.get(), &CommandDispatcher::idle, this, [this] {
        if (quiet())
            finish();
    });
    // Requests still queued for the database thread count too; they are looked at now and then.
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this] {
        if (quiet())
            finish();
    });
    poll->start(100);
    QTimer::singleShot(EndGrace, this, &ServerCore::finish);
}

void ServerCore::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    // What is still queued runs now; the dispatcher comes back to this thread.
    m_dbThread->stop();
    m_wsServer->closeAll();
    m_dispatcher->releaseDatabase();
    if (m_ctx.nanoActive) {
        m_ctx.accessPoint().Dll_CloseSerial();
        m_ctx.nanoActive = false;
    }
    clsDatabase &db = m_ctx.database();
    while (db.isOpened())
        db.closeDB();
    qCInfo(lcStart) << "server terminato";
    emit finished(m_exitCode);
}
