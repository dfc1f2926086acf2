// SPDX-License-Identifier: GPL-3.0-or-later
#include "ThreadMailbox.h"

#include <QMutexLocker>
#include <algorithm>

namespace {
// This thread's open batches, and the mailboxes it owes a wake-up.
thread_local int batchDepth = 0;
thread_local std::vector<ThreadMailbox *> owed;
} // namespace

ThreadMailbox::~ThreadMailbox()
{
    owed.erase(std::remove(owed.begin(), owed.end(), this), owed.end());
}

void ThreadMailbox::post(std::function<void()> work)
{
    bool wakeNow = false;
    {
        QMutexLocker lock(&m_mutex);
        m_waiting.push_back(std::move(work));
        if (!m_wakeQueued) {
            if (batchDepth == 0)
                wakeNow = m_wakeQueued = true;
            else if (std::find(owed.begin(), owed.end(), this) == owed.end())
                owed.push_back(this);
        }
    }
    // The first piece wakes the thread; the ones after it ride on the same wake-up.
    if (wakeNow)
        QMetaObject::invokeMethod(m_target, [this] { drain(); }, Qt::QueuedConnection);
}

void ThreadMailbox::wake()
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_wakeQueued || m_waiting.empty())
            return;
        m_wakeQueued = true;
    }
    QMetaObject::invokeMethod(m_target, [this] { drain(); }, Qt::QueuedConnection);
}

void ThreadMailbox::drain()
{
    // Only what waits now: work handed over meanwhile gets its own turn, after the thread's other
    // events (its timers, its sockets).
    std::vector<std::function<void()>> batch;
    {
        QMutexLocker lock(&m_mutex);
        batch.swap(m_waiting);
        m_wakeQueued = false;
    }
    for (std::function<void()> &work : batch)
        work();
}

ThreadMailbox::Batch::Batch()
{
    ++batchDepth;
}

ThreadMailbox::Batch::~Batch()
{
    if (--batchDepth == 0)
        flush();
}

void ThreadMailbox::Batch::flush()
{
    std::vector<ThreadMailbox *> due;
    due.swap(owed);
    for (ThreadMailbox *mailbox : due)
        mailbox->wake();
}
