// SPDX-License-Identifier: GPL-3.0-or-later
// The plikoserver program as a restaurant runs it: headless, with its configuration file, speaking
// the handheld protocol on port 31512, and stopped by the service manager.
#include "ServerProcess.h"

TEST_F(ServerBinaryTest, AHandheldTestsItsConnectionAndTheServerStopsCleanlyOnSigterm)
{
    start({u"--headless"_s, u"--config"_s, writeConfig(createRestaurant(1))});
    ASSERT_TRUE(waitForLog(u"31512"_s)) << log.toStdString();

    EXPECT_EQ(exchange("PALM01|TestConnessione|\r"), QByteArray("TestOK|\r"));
    // A request it cannot read gets no reply and its connection is closed; service goes on.
    EXPECT_EQ(exchange("PALM01|TestConnessione\r"), QByteArray());
    EXPECT_EQ(exchange("PALM01|Sconosciuto|\r\r"), QByteArray());
    EXPECT_EQ(exchange("PALM02|TestConnessione|\rxyz"), QByteArray("TestOK|\r"));

    EXPECT_EQ(stop(SIGTERM), 0);
    // Operator log lines carry their time.
    EXPECT_TRUE(log.contains(QRegularExpression(u"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} .*connected"_s)))
        << log.toStdString();
    EXPECT_TRUE(log.contains(u"dati inviati"_s));
}

// A missing database, or a configuration file that does not exist (never invented silently): the
// program ends with an error.
TEST_F(ServerBinaryTest, AMissingDatabaseOrConfigurationFileEndsTheProgramWithAnError)
{
    for (const QString &config : {writeConfig(dir.filePath(u"gone.db"_s)), dir.filePath(u"typo.ini"_s)}) {
        server.close();
        start({u"--headless"_s, u"--config"_s, config});
        ASSERT_TRUE(server.waitForFinished(15000));
        log += QString::fromUtf8(server.readAllStandardError());
        EXPECT_NE(server.exitCode(), 0) << config.toStdString();
    }
    EXPECT_TRUE(log.contains(u"Database non trovato"_s)) << log.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"typo.ini"_s)));
}

TEST_F(ServerBinaryTest, WithNoHandheldServiceConfiguredNothingListensAndSigintEndsIt)
{
    start({u"--headless"_s, u"--config"_s, writeConfig(createRestaurant(0))});
    ASSERT_TRUE(waitForLog(u"nessun servizio attivo"_s)) << log.toStdString();
    bool connected = true;
    exchange("PALM01|TestConnessione|\r", &connected);
    EXPECT_FALSE(connected);
    EXPECT_EQ(stop(SIGINT), 0);
}

TEST_F(ServerBinaryTest, TheFirstRunOnAMachineWithoutDisplayCreatesTheDemoRestaurantAndServesItHeadless)
{
    start({}, false);
    ASSERT_TRUE(waitForLog(u"31512"_s)) << log.toStdString();
    EXPECT_TRUE(log.contains(u"(headless)"_s));
    const QString config = dir.filePath(u"config/plikoserver/plikoserver.ini"_s);
    EXPECT_TRUE(QFileInfo::exists(config));
    EXPECT_TRUE(log.contains(config)) << "the operator is told where the configuration is";
    EXPECT_TRUE(QFileInfo(dir.filePath(u"data/plikoserver/spool/Cucina"_s)).isDir());
    EXPECT_EQ(exchange("PALM01|TestConnessione|\r"), QByteArray("TestOK|\r"));
    EXPECT_EQ(stop(), 0);
}
