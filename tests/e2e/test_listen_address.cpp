// SPDX-License-Identifier: GPL-3.0-or-later
// ListenAddress: two servers on one machine share the handheld port, each on its own address.
#include "ServerProcess.h"

namespace {

class ListenAddress : public ServerBinaryTest
{
protected:
    void SetUp() override { dbPath = createRestaurant(1); }
    void TearDown() override
    {
        if (second.state() != QProcess::NotRunning) {
            second.kill();
            second.waitForFinished(5000);
        }
        ServerBinaryTest::TearDown();
    }
    // A configuration of its own per server: the same restaurant, another address.
    QString configFor(const QString &name, const QString &address)
    {
        extraConfig = u"ListenAddress="_s + address + u"\nControlSocket=off\n"_s;
        const QString path = dir.filePath(name + u".ini"_s);
        QFile::remove(path);
        EXPECT_TRUE(QFile::rename(writeConfig(dbPath), path));
        return path;
    }
    static bool answers(const QString &host)
    {
        return waitFor([&] { return exchange("PALM09|TestConnessione|\r", nullptr, host) == "TestOK|\r"; });
    }
    QProcess second;
};

} // namespace

TEST_F(ListenAddress, TwoServersOnTheirOwnAddressesShareTheHandheldPort)
{
    start({u"--headless"_s, u"--config"_s, configFor(u"sala"_s, u"127.0.0.1"_s)});
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
    bool connected = true;
    exchange("PALM09|TestConnessione|\r", &connected, u"127.0.0.1"_s);
    EXPECT_FALSE(connected);
    EXPECT_TRUE(answers(u"127.0.0.2"_s));
}

TEST_F(ListenAddress, AnAddressTheServerCannotHaveStopsTheStartSayingWhy)
{
    const struct
    {
        const char *address;
        const char *why;
    } cases[] = {{"cassa", "\"cassa\" non è un indirizzo IP"},
                 {"192.0.2.7", "\"192.0.2.7\" non è un indirizzo di questa macchina"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        server.close();
        start({u"--headless"_s, u"--config"_s, configFor(u"sala"_s, QString::fromUtf8(c.address))});
        ASSERT_TRUE(server.waitForFinished(15000));
        EXPECT_EQ(server.exitCode(), 2);
        const QByteArray said = server.readAllStandardError();
        EXPECT_TRUE(said.contains(QByteArray(QByteArray("ListenAddress: ") + c.why))) << said.constData();
    }
}
