// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HandheldRequest.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <QString>
#include <atomic>
#include <functional>
#include <vector>

class clsDatabase;
class OperatorUi;

// analizzaDati: takes one complete request, opens the shared database for it, picks the command
// word out and runs the handler registered for that word, then closes the database whatever
// happened. Words are matched exactly and case-sensitively, in registration order; an unknown word
// is ignored (no reply). A request without its "|" separators, or one its handler rejects, is
// logged and dropped and its connection closed: bad input never takes the server down.
// A request that finds the database out of reach marks it down: until a probe (one a second) finds
// it back, requests fail at once instead of waiting on it.
// While the server runs it lives on the database thread; the counters and the down state may be
// read from any thread.
class CommandDispatcher : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(const HandheldRequest &)>;

    // The connection test's command word and its reply.
    static inline const QString ConnectionTest = QStringLiteral("TestConnessione");
    static inline const QString ConnectionTestReply = QStringLiteral("TestOK|\r");
    // The command word of a request ("" when its separators are missing).
    static QString commandWord(const QString &text);

    CommandDispatcher(clsDatabase &db, OperatorUi *ui, QObject *parent = nullptr);

    // A handler for a command word. minFields > 0 makes the dispatcher reject, before the handler
    // runs, a request whose rest has fewer "|"-separated fields.
    void registerCommand(const QString &word, Handler handler, int minFields = 0);
    QStringList commandWords() const;
    // Work of a command that needs no database (reading its text), done on the network thread
    // before the request queues for the database thread: that thread serves one request at a time,
    // so what it need not do, it should not. The result reaches the handler as the request's
    // `prepared`. Registered before the server starts; read from the network thread.
    using Preparer = std::function<std::any(const QString &rest)>;
    void registerPreparer(const QString &word, Preparer preparer);
    std::any prepare(const QString &text) const;

    void setDatabasePath(const QString &path) { m_dbPath = path; }
    QString databasePath() const { return m_dbPath; }
    void setLink(HandheldLink *link) { m_link = link; }
    // How a rejected request's connection is closed (the handheld server's drop).
    void setDropConnection(std::function<void(int index)> drop) { m_drop = std::move(drop); }

    // How long the database stays open after the last request (0: closed at once). Opening the
    // shared file costs more than most requests; under a lunch rush it stays open between them,
    // and it is closed once the handhelds are quiet, so a database the back office replaces or
    // restores is picked up.
    void setDatabaseLinger(std::chrono::milliseconds linger);
    // Gives the lingering open back now (the end of the program).
    void releaseDatabase();

    void analizzaDati(const QString &text, int index, std::any prepared = {});

    // Work of a request that goes on after its handler returned (printing once the handheld has
    // gone) holds the database and counts as a request in progress until it is released.
    // hold() answers whether it opened the database; that answer goes back to release().
    bool hold();
    void release(bool opened);

    // Requests being handled now (a handler may be waiting with the event loop running).
    int activeRequests() const { return m_active.load(); }
    qint64 rejectedRequests() const { return m_rejected.load(); }

    // The database failed a request for being out of reach, and no probe has found it back yet.
    bool databaseDown() const { return m_down.load(); }
    // How the probe runs as one bounded piece of the database thread (unset: in place).
    void setProbeRunner(std::function<void(const std::function<void()> &)> run) { m_probeRunner = std::move(run); }

signals:
    // The last request in progress has finished.
    void idle();
    // A request reached the handler of its (known) command word.
    void requestHandled(const QString &word, int index, const QString &rest);
    // The handler of a request has returned after this many seconds (its reply sent, its prints done).
    void requestTimed(const QString &word, double seconds);

private:
    void reject(int index, const QString &text, const QString &reason);
    void endRequest(bool opened);
    // After a piece of work: a failure that was the database's being out of reach marks it down.
    void noteReachability();
    void probe();

    struct Entry
    {
        QString word;
        Handler handler;
        int minFields = 0;
        const char *traceName; // the word, as the call trace keeps it (kept for the whole run)
    };

    QHash<QString, Preparer> m_preparers;
    clsDatabase &m_db;
    OperatorUi *m_ui;
    HandheldLink *m_link = nullptr;
    std::function<void(int)> m_drop;
    QString m_dbPath;
    std::vector<Entry> m_commands;
    std::atomic<int> m_active{0};
    std::atomic<qint64> m_rejected{0};
    std::atomic<bool> m_down{false};
    std::function<void(const std::function<void()> &)> m_probeRunner;
    // Children, so that they move with the dispatcher to the database thread.
    QTimer m_linger{this};
    QTimer m_probe{this};
    bool m_lingerHold = false;
};
