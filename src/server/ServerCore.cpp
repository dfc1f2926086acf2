// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerCore.h"
#include "PgEngine.h"

#include "AccessPoint.h"
#include "NanoExport.h"
#include "ConfigCheck.h"
#include "ServerContext.h"
#include "modGestioneTipiDato.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcStart, "pliko.start")

namespace {
// Requests still running at the end get this long to finish (their own waits are bounded at 30 s).
constexpr std::chrono::seconds EndGrace{40};
constexpr int DefaultIdleSeconds = 60;
constexpr qint64 DefaultLingerMs = 2000;

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
      m_dispatcher(new CommandDispatcher(context.database(), &context.ui(), this))
{
    m_dispatcher->setLink(m_wsServer);
    m_wsServer->setContinuationGuard([this] { return m_dispatcher->hold(); },
                                     [this](bool opened) { m_dispatcher->release(opened); });
    m_dispatcher->setDropConnection([this](int index) { m_wsServer->dropConnection(index); });
    m_wsServer->setDispatch([this](const QString &text, int index) { m_dispatcher->analizzaDati(text, index); });
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
    if (!db.isOpened())
        db.openDB(m_ctx.databasePath);
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
    if (m_dispatcher->activeRequests() == 0) {
        finish();
        return;
    }
    qCInfo(lcStart).noquote() << "chiusura: attendo" << m_dispatcher->activeRequests() << "richieste in corso";
    connect(m_dispatcher, &CommandDispatcher::idle, this, &ServerCore::finish);
    QTimer::singleShot(EndGrace, this, &ServerCore::finish);
}

void ServerCore::finish()
{
    if (m_finished)
        return;
    m_finished = true;
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
