// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ThreadMailbox.h"

#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>

class clsDatabase;

// The one thread where the shared database is used while the server runs: work posted here runs
// one piece at a time, in the order it was posted, so a request's transaction never interleaves
// with another's. Each piece's time on the database is bounded: past the bound, the network thread
// interrupts what the database is doing and the rest of the piece fails at once. Before start()
// (and in tests that never start it) posted work runs at once on the caller's thread.
class DatabaseThread : public QObject
{
    Q_OBJECT
public:
    explicit DatabaseThread(clsDatabase &db, QObject *parent = nullptr);
    ~DatabaseThread() override;

    // Starts the thread; `owned` objects (no parent) move to it and come back at stop().
    void start(QList<QObject *> owned);
    // Runs what is still queued, brings the objects back and ends the thread.
    void stop();
    bool running() const { return m_running.load(); }
    bool onThread() const;

    void post(std::function<void()> job);
    // Runs `job` there and waits for it at most `bound`: false when it had not finished (it still
    // runs later, so it must own what it uses). Runs at once when called from the thread itself.
    bool call(std::function<void()> job, std::chrono::milliseconds bound);
    // Runs `job` now, on the calling thread (the database thread's own timers), as one piece: under
    // the bound, and counted as pending.
    void runHere(const std::function<void()> &job);
    // Pieces posted and not yet finished (one running included).
    int pending() const { return m_pending.load(); }

    void setBound(std::chrono::milliseconds bound) { m_boundMs.store(bound.count()); }
    std::chrono::milliseconds bound() const { return std::chrono::milliseconds(m_boundMs.load()); }

private:
    void runJob(const std::function<void()> &job);
    void checkBound();

    clsDatabase &m_db;
    QThread m_thread;
    QObject *m_worker;
    ThreadMailbox m_mailbox{m_worker};
    QList<QObject *> m_owned;
    QTimer m_watch;
    std::atomic<bool> m_running{false};
    std::atomic<int> m_pending{0};
    std::atomic<qint64> m_boundMs{10000};
    // When the running piece started (ms of a monotonic clock), 0 when none runs; and its number,
    // so a piece is interrupted once and never the one after it.
    std::atomic<qint64> m_startedMs{0};
    std::atomic<quint64> m_jobNumber{0};
    quint64 m_interrupted = 0;
};
