// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeLink.h"
#include "OperatorUi.h"
#include "OrderRecorder.h"
#include "TestInvioComande.h"
#include "TestSupport.h"
#include "modPlikoServer.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class AnsweringUi : public OperatorUi
{
public:
    bool question(const QString &text) override
    {
        asked.append(text);
        return answer;
    }
    QStringList asked;
    bool answer = true;
};

class SendingTest : public ::testing::Test
{
protected:
    SendingTest()
        : helpers(tdb.db()), recorder(tdb.db(), helpers, link, &ui, &printing),
          test(temp.path() + u"/QM9Temp/"_s, &ui, &printing)
    {
        recorder.setTestLog([this](const QString &line) { test.riceviComanda(line); });
    }
    QString log() const
    {
        QFile f(test.logPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    RegionalGuard guard;
    TestDatabase tdb;
    QTemporaryDir temp;
    modPlikoServer helpers;
    FakeLink link;
    FakePrinting printing;
    AnsweringUi ui;
    OrderRecorder recorder;
    TestInvioComande test;
};

const QString Order = u"3919435200|12,13|4|2|8,00|30,00;M|111|1|11,00|1|Carbonara|0|0;"_s;

} // namespace

TEST_F(SendingTest, TestOrdersAreCountedAndLoggedAndRecordedOnlyWithUnload)
{
    test.avvia();
    ASSERT_TRUE(recorder.salvaComanda(Order, 2, true, false));
    ASSERT_TRUE(recorder.salvaComanda(Order, 2, true, false));
    EXPECT_EQ(test.totale(), 2);
    EXPECT_TRUE(test.testo().contains(u"Ricevuta comanda TAVOLO: 12 OPERATORE: Giulia"_s));
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM comande"_s), u"0"_s);
    EXPECT_TRUE(printing.printed.isEmpty());
    EXPECT_TRUE(log().startsWith(u"Inizio test invio comande: 15/03/2024 12:00:00\r\n"_s));
    // With unload the order is recorded and printed, and still answered as a test.
    ASSERT_TRUE(recorder.salvaComanda(Order, 2, true, true));
    EXPECT_EQ(link.replies, QStringList(3, u"TestComandaOK|\r"_s));
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM merce_comande"_s), u"1"_s);
    EXPECT_EQ(printing.printed.size(), 1);
    EXPECT_EQ(test.totale(), 3);
}

TEST_F(SendingTest, ClosingLogsTheDurationAndPrintsTheSummaryOnRequest)
{
    // A test that never started still asks, and writes no log.
    ui.answer = false;
    test.chiudi();
    EXPECT_FALSE(QFile::exists(test.logPath()));
    EXPECT_TRUE(printing.printed.isEmpty());

    ui.answer = true;
    test.avvia();
    recorder.salvaComanda(Order, 2, true, false);
    guard.clock().advance(135 * 60);
    test.chiudi();
    EXPECT_FALSE(test.running());
    EXPECT_TRUE(log().contains(u"Fine test: 15/03/2024 14:15:00\r\nDurata test: 2 ore 15 minuti\r\nTot ordini = 1\r\n"_s));
    EXPECT_EQ(ui.asked, QStringList(2, u"Vuoi stampare il resoconto del test?"_s));
    EXPECT_EQ(printing.printed,
              QStringList{u"resoconto 4 Inizio test invio comande: 15/03/2024 12:00:00/Fine test: 15/03/2024 14:15:00/"
              "Durata test: 2 ore 15 minuti/Comande inviate: 1"_s});
}

TEST(SendingTestDuration, CountsMinuteBoundariesAndCarriesWholeHours)
{
    const QDateTime start(QDate(2024, 3, 15), QTime(20, 0, 30));
    // 20:00:30 to 20:01:10 crosses one boundary though only 40 seconds passed.
    for (const auto &[seconds, hours, minutes] : {std::tuple{59 * 60, 0, 59}, {60 * 60, 1, 0}, {135 * 60, 2, 15}, {40, 0, 1}}) {
        int h = -1, m = -1;
        TestInvioComande::durata(start, start.addSecs(seconds), &h, &m);
        EXPECT_EQ(std::pair(h, m), std::pair(hours, minutes)) << seconds;
    }
}
