// SPDX-License-Identifier: GPL-3.0-or-later
// Work handed from thread to thread: it runs on the receiver's thread, in the order handed over,
// never after the receiver is gone, and a thread's batch wakes the receiver once.
#include "ThreadMailbox.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

TEST(ThreadMailbox, WorkFromAnotherThreadRunsHereInOrderAndNeverAfterTheReceiverIsGone)
{
    QObject receiver;
    ThreadMailbox mailbox(&receiver);
    QList<int> done;
    bool elsewhere = false;
    std::unique_ptr<QThread> sender(QThread::create([&] {
        for (int i = 0; i < 500; ++i)
            mailbox.post([&done, &elsewhere, i] {
                elsewhere = elsewhere || QThread::currentThread() != qApp->thread();
                done.append(i);
            });
    }));
    sender->start();
    ASSERT_TRUE(sender->wait(10000));
    EXPECT_TRUE(done.isEmpty()) << "work ran on the sending thread";
    QCoreApplication::sendPostedEvents(&receiver);
    ASSERT_EQ(done.size(), 500);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(done[i], i);
    EXPECT_FALSE(elsewhere);

    // Work still waiting when its receiver goes is dropped, not run on a destroyed object.
    auto gone = std::make_unique<QObject>();
    ThreadMailbox late(gone.get());
    bool ran = false;
    late.post([&ran] { ran = true; });
    gone.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(ran);
}

TEST(ThreadMailbox, ABatchWakesTheReceiverWhenItEndsOrFlushesButNeverHoldsAnotherThreadsWork)
{
    QObject receiver;
    ThreadMailbox mailbox(&receiver);
    QList<int> done;
    auto note = [&done](int i) { return [&done, i] { done.append(i); }; };
    {
        ThreadMailbox::Batch batch;
        mailbox.post(note(1));
        mailbox.post(note(2));
        QCoreApplication::sendPostedEvents(&receiver);
        EXPECT_TRUE(done.isEmpty()) << "a post inside a batch woke the receiver";
        ThreadMailbox::Batch::flush(); // as before a wait for the receiver
        QCoreApplication::sendPostedEvents(&receiver);
        EXPECT_EQ(done, (QList<int>{1, 2}));

        mailbox.post(note(3));
        std::unique_ptr<QThread> other(QThread::create([&] { mailbox.post(note(4)); }));
        other->start();
        ASSERT_TRUE(other->wait(10000));
        QCoreApplication::sendPostedEvents(&receiver);
        EXPECT_EQ(done, (QList<int>{1, 2, 3, 4})) << "another thread's work waited for this thread's batch";

        mailbox.post(note(5));
    }
    QCoreApplication::sendPostedEvents(&receiver);
    EXPECT_EQ(done, (QList<int>{1, 2, 3, 4, 5})) << "the end of the batch woke nobody";
}
