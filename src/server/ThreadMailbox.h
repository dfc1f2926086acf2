// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMutex>
#include <QObject>
#include <vector>
#include <functional>

// Work handed to the thread of one object from any thread, run there in the order it was handed
// over. Pieces handed over while earlier ones still wait share one wake-up of that thread: each
// wake-up is a system call, and one order hands several pieces from thread to thread.
class ThreadMailbox
{
public:
    // Runs the work on `target`'s thread, in that thread's event loop. Work still waiting when
    // `target` is destroyed is dropped, as Qt drops the events of a destroyed receiver.
    explicit ThreadMailbox(QObject *target) : m_target(target) {}
    ~ThreadMailbox();
    ThreadMailbox(const ThreadMailbox &) = delete;
    ThreadMailbox &operator=(const ThreadMailbox &) = delete;

    void post(std::function<void()> work);

    // While one lives on a thread, what that thread posts wakes its receivers once, when the last
    // one ends or at flush(), instead of at each post: a request hands its reply, its counters and
    // its end to the network thread in one wake-up. A thread that is about to wait for a receiver
    // to run what it posted must flush() first.
    class Batch
    {
    public:
        Batch();
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;
        // Wakes now the receivers of what this thread posted in its batch.
        static void flush();
    };

private:
    void drain();
    void wake();

    QObject *m_target;
    QMutex m_mutex;
    std::vector<std::function<void()>> m_waiting;
    // A drain is queued on the receiver's thread and has not started yet.
    bool m_wakeQueued = false;
};
