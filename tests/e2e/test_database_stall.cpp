// SPDX-License-Identifier: GPL-3.0-or-later
// The back office holds the SQLite write lock for a few seconds in the middle of an order stream: the
// server keeps answering connection tests at once, and every order it confirmed is recorded whole.
#include "ServerProcess.h"

TEST_F(ServerBinaryTest, AHeldWriteLockNeitherSilencesTheServerNorCostsAConfirmedOrder)
{
    dbPath = createRestaurant(1);
    logToFile(server, u"server"_s);
    startProcess(server, {u"--headless"_s, u"--config"_s, writeConfig(dbPath)});
    ASSERT_TRUE(answers());

    OrderStream stream(2, 3);
    QThread::msleep(500);
    const qsizetype before = stream.confirmed().size();
    expectAnsweredDuring(
        [&] {
            // Another program's write transaction, as the back office takes it.
            clsDatabase other;
            other.setYieldBeforeStatements(false);
            ASSERT_TRUE(other.openDB(dbPath));
            ASSERT_TRUE(other.beginTrans());
            QThread::msleep(4000);
            other.rollback();
            other.closeDB();
        },
        10);
    // Orders sent during the lock are recorded after it (within their bound), and the stream goes on.
    QThread::msleep(1500);
    stream.stop();
    EXPECT_GT(stream.confirmed().size(), before + 2);
    stream.expectEveryConfirmedOrderWhole(dbPath);
    EXPECT_EQ(stop(SIGTERM), 0);
}
