// SPDX-License-Identifier: GPL-3.0-or-later
// The back office holds the SQLite write lock for a few seconds in the middle of an order stream: the
// server keeps answering connection tests at once, and every order it confirmed is recorded whole.
#include "ServerProcess.h"

TEST_F(ServerBinaryTest, AHeldWriteLockNeitherSilencesTheServerNorCostsAConfirmedOrder)
{
    dbPath = createRestaurant(1);
    const QString config = writeConfig(dbPath);
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.setStandardOutputFile(dir.filePath(u"server.log"_s));
    start({u"--headless"_s, u"--config"_s, config});
    ASSERT_TRUE(waitFor([&] { return exchange("PALM09|TestConnessione|\r") == "TestOK|\r"; }));

    OrderStream stream(2, 3);
    QThread::msleep(500);
    const qsizetype before = stream.confirmed().size();
    int asked = 0;
    const QStringList failures = connectionTestsDuring(
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
        1500, &asked);
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u"; "_s).toStdString() << " of " << asked;
    EXPECT_GE(asked, 10);
    // Orders sent during the lock are recorded after it (within their bound), and the stream goes on.
    QThread::msleep(1500);
    stream.stop();
    EXPECT_GT(stream.confirmed().size(), before + 2);
    stream.expectEveryConfirmedOrderWhole(dbPath);
    EXPECT_EQ(stop(SIGTERM), 0);
}
