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
    ThreadMailbox(const ThreadMailbox &) = delete;
    ThreadMailbox &operator=(const ThreadMailbox &) = delete;

    void post(std::function<void()> work);

private:
    void drain();

    QObject *m_target;
    QMutex m_mutex;
    std::vector<std::function<void()>> m_waiting;
};
