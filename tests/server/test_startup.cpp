// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and end of the server: what the configuration and the database decide, what the
// operator is told, and the first run that sets a new user up.
#include "FirstRunSetup.h"
#include "HandheldClient.h"
#include "RecordingAccessPoint.h"
#include "ServerContext.h"
#include "ServerCore.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class StartupTest : public ::testing::Test
{
protected:
    // A restaurant with its configuration: the demo database with the service setting given.
    void prepare(qint32 palmare, const QString &extraBackOffice = {}, const QString &extraOwn = {},
                 const QString &comNano = u"COM3"_s)
    {
        restaurant.exec(u"UPDATE var_long SET value = "_s + QString::number(palmare)
                        + u" WHERE name = 'palmare_configurato'"_s);
        restaurant.exec(u"UPDATE var_str SET value = '"_s + comNano + u"' WHERE name = 'com_nano'"_s);
        writeConfig(u"LastDBPath="_s + restaurant.path() + u'\n' + extraBackOffice, extraOwn);
    }
    void writeConfig(const QString &backOffice, const QString &own = {})
    {
        configPath = dir.filePath(u"plikoserver.ini"_s);
        QFile f(configPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QString(u"[Software\\Orvanta\\Quillmark10\\Config]\n"_s + backOffice + u"\n[PlikoServer]\nLocale=it_IT\n"_s
                        + own + u'\n')
                    .toUtf8());
    }
    void start(bool accessPointPresent = false)
    {
        core.reset();
        auto ap = std::make_unique<RecordingAccessPoint>();
        ap->present = accessPointPresent;
        accessPoint = ap.get();
        context = std::make_unique<ServerContext>(std::make_unique<Registry>(configPath), nullptr, std::move(ap));
        context->database().setRetryDelay(std::chrono::milliseconds(5));
        context->database().setYieldBeforeStatements(false);
        context->startNanoPolling = [this] { ++pollingStarts; };
        core = std::make_unique<ServerCore>(*context);
        status = core->avvia(0);
    }
    QStringList messages() const { return context->ui().messages(); }

    RegionalGuard regionalGuard;
    QTemporaryDir dir;
    TestDatabase restaurant;
    QString configPath;
    RecordingAccessPoint *accessPoint = nullptr;
    std::unique_ptr<ServerContext> context;
    std::unique_ptr<ServerCore> core;
    int status = -1;
    int pollingStarts = 0;
};

TEST_F(StartupTest, ARestaurantWithTcpHandheldsGetsTheListenerAndTheDatabaseIsClosedWhileTheyAreQuiet)
{
    prepare(1, u"NumeroDecimali=3\n"_s, u"DatabaseLingerMs=50\n"_s);
    start();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(core->service(), ServerCore::Service::Handhelds);
    EXPECT_TRUE(core->wsServer().isListening());
    EXPECT_EQ(regional().decimals, 3);
    EXPECT_EQ(context->databasePath, restaurant.path());
    EXPECT_FALSE(context->database().isOpened());
    EXPECT_TRUE(context->temporaryFolder.endsWith(u"QM9Temp/"_s));
    EXPECT_TRUE(QFileInfo(context->temporaryFolder).isDir());
    EXPECT_TRUE(messages().isEmpty());

    EXPECT_EQ(exchange(core->wsServer().serverPort(), "PALM01|TestConnessione|\r"), QByteArray("TestOK|\r"));
    // Kept open a moment for the next handheld, then closed while they are quiet.
    EXPECT_TRUE(pumpUntil([&] { return !context->database().isOpened(); }));
}

TEST_F(StartupTest, MissingOrUnreadableNumberOfDecimalsMeansTwo)
{
    for (const QString &decimals : {QString(), u"NumeroDecimali=due\n"_s}) {
        prepare(0, decimals);
        regional().decimals = 4;
        start();
        EXPECT_EQ(regional().decimals, 2) << decimals.toStdString();
    }
}

TEST_F(StartupTest, RadioHandheldsOpenTheAccessPointOnThePortOfComNano)
{
    prepare(2);
    start(true);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(accessPoint->opened, QList<qint32>{3});
    EXPECT_TRUE(context->nanoActive);
    EXPECT_EQ(pollingStarts, 1);
    EXPECT_FALSE(core->wsServer().isListening());
    EXPECT_TRUE(context->database().isOpened()) << "the radio service works from the open database";

    // Switching the radio service on by hand while it runs does nothing.
    EXPECT_TRUE(core->attivaNano());
    EXPECT_EQ(accessPoint->opened.size(), 1);
    EXPECT_EQ(pollingStarts, 1);
}

TEST_F(StartupTest, WithoutAnAccessPointTheOperatorIsToldAndTheServerGoesOn)
{
    prepare(2, {}, {}, u"USB"_s);
    start(false);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(accessPoint->opened, QList<qint32>{0});
    EXPECT_FALSE(context->nanoActive);
    EXPECT_EQ(messages(), QStringList{ServerCore::AccessPointFailedAtStart});

    EXPECT_FALSE(core->attivaNano());
    EXPECT_EQ(messages().last(), ServerCore::AccessPointFailedByHand);
}

TEST_F(StartupTest, AWrongAllowedClientsListStopsTheStartInsteadOfAdmittingEveryone)
{
    prepare(1, {}, u"AllowedClients=192.168.1.0/24, cassa\n"_s);
    start();
    EXPECT_NE(status, 0);
    EXPECT_FALSE(core->wsServer().isListening());
    EXPECT_TRUE(messages().last().contains(u"cassa"_s));
}

TEST_F(StartupTest, TheEndWaitsForARequestInProgressThenClosesTheDatabase)
{
    prepare(1);
    start();
    int exitCode = -1;
    QObject::connect(core.get(), &ServerCore::finished, [&](int code) { exitCode = code; });
    bool ended = false;
    core->dispatcher().registerCommand(u"NotaTavolo"_s, [&](const HandheldRequest &r) {
        r.inviaRisposta(u"OK|\r"_s);
        core->termina(0);  // the end is asked while this request waits for its connection
        r.aspettaChiusura();
        ended = exitCode == -1 && context->database().isOpened();
    });
    EXPECT_EQ(exchange(core->wsServer().serverPort(), "P|NotaTavolo|7|Conto separato|2\r"), QByteArray("OK|\r"));
    ASSERT_TRUE(pumpUntil([&] { return exitCode != -1; }));
    EXPECT_TRUE(ended) << "the request finished with its database before the end";
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(core->wsServer().isListening());
    EXPECT_FALSE(context->database().isOpened());
}

TEST(FirstRunTest, ANewUserGetsADemoRestaurantWithSpoolPrintersReadyToServe)
{
    QTemporaryDir home;
    const QString config = home.filePath(u"config/plikoserver/plikoserver.ini"_s);
    const QString data = home.filePath(u"data/plikoserver"_s);
    QString error;
    ASSERT_TRUE(FirstRunSetup::create(config, data, &error)) << error.toStdString();

    Registry reg(config);
    // The program's own first-run test sees the file accepted and the spool printers served.
    const QString db = reg.backOffice(u"LastDBPath"_s).toString();

    // A second first run (the configuration was deleted) keeps the restaurant's data.
    clsDatabase database;
    ASSERT_TRUE(database.openDB(db));
    database.setYieldBeforeStatements(false);
    ASSERT_TRUE(database.doQuery(u"UPDATE var_long SET value = 7 WHERE name = 'palmare_configurato'"_s));
    database.closeDB();
    QFile::remove(config);
    ASSERT_TRUE(FirstRunSetup::create(config, data, &error)) << error.toStdString();
    ASSERT_TRUE(database.openDB(db));
    EXPECT_EQ(modPlikoServer(database).leggiVarLong(u"palmare_configurato"_s, 0), 7);
    database.closeDB();
}

} // namespace
