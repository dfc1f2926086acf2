// SPDX-License-Identifier: GPL-3.0-or-later
// ListenAddress: two servers on one machine share the handheld port, each on its own address.
// (An address the machine lacks is refused by the configuration check, whose refusal stops the start.)
#include "ServerProcess.h"

TEST_F(ServerBinaryTest, TwoServersOnTheirOwnAddressesShareTheHandheldPort)
{
    dbPath = createRestaurant(1);
    startProcess(server, {u"--headless"_s, u"--config"_s, configFor(u"sala"_s, u"127.0.0.1"_s)});
    ASSERT_TRUE(waitForLog(u"127.0.0.1 porta 31512"_s)) << log.toStdString();
    startProcess(second, {u"--headless"_s, u"--config"_s, configFor(u"terrazza"_s, u"127.0.0.2"_s)});
    EXPECT_TRUE(answers(u"127.0.0.1"_s));
    EXPECT_TRUE(answers(u"127.0.0.2"_s));

    // A third on an address already served says which address and port it could not have.
    QProcess third;
    startProcess(third, {u"--headless"_s, u"--config"_s, configFor(u"bar"_s, u"127.0.0.1"_s)});
    ASSERT_TRUE(third.waitForFinished(15000));
    EXPECT_EQ(third.exitCode(), 1);
    EXPECT_TRUE(third.readAllStandardError().contains(
        "Impossibile attivare il servizio palmari sull'indirizzo 127.0.0.1 porta 31512"));
    EXPECT_TRUE(answers(u"127.0.0.1"_s));

    // Each serves its own address only: with the first stopped, the second still answers on its own.
    EXPECT_EQ(stop(SIGTERM), 0);
    EXPECT_FALSE(connects(u"127.0.0.1"_s));
    EXPECT_TRUE(answers(u"127.0.0.2"_s));
}
