// SPDX-License-Identifier: GPL-3.0-or-later
// Work handed from thread to thread: it runs on the receiver's thread, in the order handed over,
// and never after the receiver is gone.
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
