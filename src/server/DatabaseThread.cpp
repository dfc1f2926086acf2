// SPDX-License-Identifier: GPL-3.0-or-later
#include "DatabaseThread.h"

#include "clsDatabase.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QSemaphore>
#include <memory>

Q_LOGGING_CATEGORY(lcDbThread, "pliko.database")

namespace {
qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
// How often the network thread looks at the running piece's time.
constexpr std::chrono::milliseconds WatchInterval{200};
} // namespace

DatabaseThread::DatabaseThread(clsDatabase &db, QObject *parent)
    : QObject(parent), m_db(db), m_worker(new QObject)
{
    m_thread.setObjectName(QStringLiteral("database"));
    m_watch.setInterval(WatchInterval);
    connect(&m_watch, &QTimer::timeout, this, &DatabaseThread::checkBound);
}

DatabaseThread::~DatabaseThread()
{
    stop();
    delete m_worker;
}

bool DatabaseThread::onThread() const
{
    return QThread::currentThread() == &m_thread;
}

void DatabaseThread::start(QList<QObject *> owned)
{
    if (m_running.load())
        return;
    m_owned = std::move(owned);
    m_worker->moveToThread(&m_thread);
    for (QObject *o : std::as_const(m_owned))
        o->moveToThread(&m_thread);
    // The database is used there from now on; statements never yield to that thread's events
    // (they would run the next request inside this one).
    m_db.setYieldBeforeStatements(false);
    m_thread.start();
    m_running.store(true);
    m_watch.start();
}

void DatabaseThread::stop()
{
    if (!m_running.load())
        return;
    QThread *home = thread();
    post([this, home] {
        for (QObject *o : std::as_const(m_owned))
            o->moveToThread(home);
        m_worker->moveToThread(home);
        m_thread.quit();
    });
    // What is still queued runs first; its bound is still watched from here.
    while (!m_thread.wait(int(WatchInterval.count())))
        checkBound();
    m_running.store(false);
    m_watch.stop();
    m_owned.clear();
}

void DatabaseThread::post(std::function<void()> job)
{
    if (!m_running.load() && !onThread()) {
        job();
        return;
    }
    ++m_pending;
    m_mailbox.post([this, job = std::move(job)] { runJob(job); });
}

bool DatabaseThread::call(std::function<void()> job, std::chrono::milliseconds bound)
{
    if (!m_running.load() || onThread()) {
        job();
        return true;
    }
    auto done = std::make_shared<QSemaphore>();
    post([job = std::move(job), done] {
        job();
        done->release();
    });
    return done->tryAcquire(1, int(bound.count()));
}

void DatabaseThread::runJob(const std::function<void()> &job)
{
    {
        // What the piece hands to other threads (a reply, counters, its end) leaves in one wake-up
        // per thread when it ends.
        ThreadMailbox::Batch batch;
        QMutexLocker gate(&m_db.gate());
        m_db.setDeadline(QDeadlineTimer(bound()));
        ++m_jobNumber;
        m_startedMs.store(monotonicMs());
        job();
        m_startedMs.store(0);
        m_db.setDeadline(QDeadlineTimer(QDeadlineTimer::Forever));
    }
    --m_pending;
}

void DatabaseThread::runHere(const std::function<void()> &job)
{
    ++m_pending;
    runJob(job);
}

void DatabaseThread::checkBound()
{
    const quint64 number = m_jobNumber.load();
    const qint64 started = m_startedMs.load();
    if (started == 0 || number != m_jobNumber.load() || number == m_interrupted
        || monotonicMs() - started <= m_boundMs.load())
        return;
    m_interrupted = number;
    qCWarning(lcDbThread).noquote() << "il database non ha risposto entro" << m_boundMs.load() / 1000.0
                                    << "s: operazione interrotta";
    m_db.interrupt();
}
