// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandDispatcher.h"
#include "DatabaseThread.h"
#include "HandheldServer.h"

#include <QObject>
#include <memory>

class ServerContext;

// The server without its windows: the load sequence (configuration, proving open of the database,
// the service that palmare_configurato selects), the radio service switch, and the clean end. The
// main window and the headless program drive the same object.
//
// Threads: this object, the handheld server and everything of the network run on the main thread;
// once avviaThreadDatabase() is called, the dispatcher and every request's handler run on the
// database thread, reaching the handheld's connection by queued calls (link()).
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
    ~ServerCore() override;

    HandheldServer &wsServer() { return *m_wsServer; }
    CommandDispatcher &dispatcher() { return *m_dispatcher; }
    DatabaseThread &databaseThread() { return *m_dbThread; }
    // The handheld connection as request handlers use it, from whichever thread they run on.
    HandheldLink &link() { return *m_link; }
    // Requests that touch the database run on their own thread from now on (the program calls it
    // after avvia(); tests that drive the core in place do not).
    void avviaThreadDatabase();
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
    // Runs `f` on the network thread: at once when already there, otherwise after the work handed
    // there before it (replies, the end of requests, the counters).
    void onNetwork(std::function<void()> f);

signals:
    void finished(int exitCode);

private:
    bool apriAccessPoint();
    void finish();
    bool quiet() const;
    void dispatch(const QString &text, int index);

    ServerContext &m_ctx;
    HandheldServer *m_wsServer;
    std::unique_ptr<CommandDispatcher> m_dispatcher;
    DatabaseThread *m_dbThread;
    std::unique_ptr<HandheldLink> m_link;
    ThreadMailbox m_toNetwork{this};
    Service m_service = Service::None;
    bool m_ending = false;
    bool m_finished = false;
    int m_exitCode = 0;
};
