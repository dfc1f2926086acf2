// SPDX-License-Identifier: GPL-3.0-or-later
// The plikoserver program as a restaurant runs it: headless, with its configuration file, speaking
// the handheld protocol on port 31512, and stopped by the service manager.
#include "ServerProcess.h"

TEST_F(ServerBinaryTest, WithNoHandheldServiceConfiguredNothingListensAndSigintEndsIt)
{
    startProcess(server, {u"--headless"_s, u"--config"_s, writeConfig(createRestaurant(0))});
    ASSERT_TRUE(waitForLog(u"nessun servizio attivo"_s)) << log.toStdString();
    EXPECT_FALSE(connects());
    EXPECT_EQ(stop(SIGINT), 0);
}

TEST_F(ServerBinaryTest, TheFirstRunOnAMachineWithoutDisplayCreatesTheDemoRestaurantAndServesItHeadless)
{
    startProcess(server, {}, false);
    ASSERT_TRUE(waitForLog(u"31512"_s)) << log.toStdString();
    EXPECT_TRUE(log.contains(u"(headless)"_s));
    const QString config = dir.filePath(u"config/plikoserver/plikoserver.ini"_s);
    EXPECT_TRUE(QFileInfo::exists(config));
    EXPECT_TRUE(log.contains(config)) << "the operator is told where the configuration is";
    EXPECT_TRUE(QFileInfo(dir.filePath(u"data/plikoserver/spool/Cucina"_s)).isDir());
    EXPECT_EQ(exchange("PALM01|TestConnessione|\r"), QByteArray("TestOK|\r"));
    // A request it cannot read gets no reply and its connection is closed; service goes on.
    EXPECT_EQ(exchange("PALM01|Sconosciuto|\r\r"), QByteArray());
    EXPECT_EQ(exchange("PALM02|TestConnessione|\r"), QByteArray("TestOK|\r"));
    EXPECT_EQ(stop(), 0);
}
