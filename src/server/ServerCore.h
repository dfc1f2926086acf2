// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandDispatcher.h"
#include "HandheldServer.h"

#include <QObject>

class ServerContext;

// The server without its windows: the load sequence (configuration, proving open of the database,
// the service that palmare_configurato selects), the radio service switch, and the clean end. The
// main window and the headless program drive the same object.
class ServerCore : public QObject
{
    Q_OBJECT
public:
    enum class Service { None, Handhelds, Nano };

    static inline const QString DatabaseNotFound = QStringLiteral("Database non trovato");
    static inline const QString AccessPointFailedAtStart = QStringLiteral(
        "Problema di connessione all'access point, controllare che l'access point sia collegato al computer e "
        "che la COM impostata sia corretta");
    static inline const QString AccessPointFailedByHand = QStringLiteral(
        "Problema di connessione all'access point, impostare la porta COM da 'Gestione Duvu'");
    static inline const QString QuitQuestion = QStringLiteral("Sei sicuro di voler uscire da Tavora-Restaurant?");

    explicit ServerCore(ServerContext &context, QObject *parent = nullptr);

    HandheldServer &wsServer() { return *m_wsServer; }
    CommandDispatcher &dispatcher() { return *m_dispatcher; }
    ServerContext &context() { return m_ctx; }

    // The load sequence. 0 when the program goes on (whatever service runs), otherwise the exit
    // status of a start-up that cannot go on (the operator has been told why).
    int avvia(quint16 port = HandheldServer::DefaultPort);
    Service service() const { return m_service; }

    // Starts the radio service by hand; false (and the operator told) when the access point fails.
    bool attivaNano();
    // Asks the operator and ends the program on yes.
    void chiudiProgramma();
    // Ends cleanly: no new connections, running requests finish (bounded), the database is closed,
    // then finished() is emitted with the exit status.
    void termina(int exitCode = 0);
    bool isEnding() const { return m_ending; }

signals:
    void finished(int exitCode);

private:
    bool apriAccessPoint();
    void finish();

    ServerContext &m_ctx;
    HandheldServer *m_wsServer;
    CommandDispatcher *m_dispatcher;
    Service m_service = Service::None;
    bool m_ending = false;
    bool m_finished = false;
    int m_exitCode = 0;
};
