// SPDX-License-Identifier: GPL-3.0-or-later
#include "ThreadMailbox.h"

#include <QMutexLocker>

void ThreadMailbox::post(std::function<void()> work)
{
    bool wake = false;
    {
        QMutexLocker lock(&m_mutex);
        wake = m_waiting.empty();
        m_waiting.push_back(std::move(work));
    }
    // The first piece wakes the thread; the ones after it ride on the same wake-up.
    if (wake)
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
    }
    for (std::function<void()> &work : batch)
        work();
}
