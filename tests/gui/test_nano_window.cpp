// SPDX-License-Identifier: GPL-3.0-or-later
// "Gestione Duvu" as the operator sees it, on the offscreen platform: the opening look, the
// buttons of each state and what each click logs.
#include "RecordingAccessPoint.h"
#include "OperatorUi.h"
#include "StubNanoHandlers.h"
#include "TestSupport.h"
#include "frmNano.h"
#include "modNano.h"
#include "modPlikoServer.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class NanoWindowTest : public ::testing::Test
{
protected:
    NanoWindowTest()
        : nano(ap, handlers, database.db(), &ui), control(ap, nano, database.db(), &ui, nanoAttivo), window(control)
    {
        ap.present = false;
    }
    void comNano(const QString &value)
    {
        database.exec(u"DELETE FROM var_str WHERE name = 'com_nano'"_s);
        if (!value.isNull())
            database.exec(u"INSERT INTO var_str (name, value) VALUES ('com_nano', '"_s + value + u"')"_s);
    }
    template <typename T = QPushButton> T *child(const char *name)
    {
        return window.findChild<T *>(QString::fromLatin1(name));
    }
    // Shown and enabled, as the operator would find the button.
    std::pair<bool, bool> look(const char *name)
    {
        QWidget *w = child<QWidget>(name);
        return {!w->isHidden(), w->isEnabled()};
    }
    QStringList logLines()
    {
        QStringList lines;
        auto *list = child<QListWidget>("ListLog");
        for (int i = 0; i < list->count(); ++i)
            lines.append(list->item(i)->text());
        return lines;
    }

    RegionalGuard regional;
    TestDatabase database;
    OperatorUi ui;
    RecordingAccessPoint ap;
    StubNanoHandlers handlers{nullptr};
    modNano nano;
    bool nanoAttivo = false;
    NanoControl control;
    frmNano window;
};

constexpr std::pair<bool, bool> ShownOn{true, true}, ShownOff{true, false}, Hidden{false, false};

TEST_F(NanoWindowTest, OpeningWithoutALinkShowsTheIdleLookAndTakesTheLinkOver)
{
    comNano(QString());
    nano.abilitaRicezione();
    window.apri();
    EXPECT_EQ(window.windowTitle(), u"Gestione Duvu"_s);
    EXPECT_EQ(child<QLabel>("Label1")->text(), u"Selezionare la COM su cui e' collegato l'Access Point"_s);
    auto *com = child<QComboBox>("cmbCom");
    ASSERT_EQ(com->count(), 99);
    EXPECT_EQ(com->itemText(0), u"COM 1"_s);
    EXPECT_EQ(com->itemText(98), u"COM 99"_s);
    EXPECT_EQ(com->currentIndex(), 0);

    EXPECT_FALSE(child("cmdInviaDB")->isEnabled());
    EXPECT_TRUE(child<QLabel>("picVerde")->isHidden());
    EXPECT_TRUE(child<QLabel>("picRossa")->isHidden());
    EXPECT_EQ(look("cmdAbilitaVisibile"), ShownOff);
    EXPECT_EQ(look("cmdDisabilitaVisibile"), Hidden);
    EXPECT_TRUE(child("cmdChiudiConnessione")->isHidden());
    EXPECT_TRUE(child("cmdFermaRicezione")->isHidden());
    EXPECT_EQ(look("cmdAbilitaRicezione"), ShownOff);
    EXPECT_EQ(look("cmdConnetti"), ShownOn);
    EXPECT_TRUE(child<QProgressBar>("Barra")->isHidden());
    EXPECT_FALSE(nano.TimerNano().isActive());
    EXPECT_TRUE(nanoAttivo);
}

TEST_F(NanoWindowTest, ConnectingOnAPortWithoutAnAccessPointOnlyLogs)
{
    comNano(u"3"_s);
    window.apri();
    EXPECT_EQ(child<QComboBox>("cmbCom")->currentIndex(), 2);
    child("cmdConnetti")->click();
    EXPECT_EQ(ap.opened.value(ap.opened.size() - 1), 3); // the last port opened
    EXPECT_EQ(logLines(), (QStringList{u"...Ricerca Access point su COM 3"_s, u"...Access point non trovato"_s}));
    EXPECT_EQ(look("cmdConnetti"), ShownOn);
    EXPECT_TRUE(child<QLabel>("picVerde")->isHidden());
}

TEST_F(NanoWindowTest, AConnectedAccessPointIsDrivenButtonByButton)
{
    comNano(u"COM 2"_s);
    window.apri();
    ap.present = true;
    child("cmdConnetti")->click();
    EXPECT_EQ(ap.opened.value(ap.opened.size() - 1), 2);
    EXPECT_EQ(modPlikoServer(database.db()).leggiVarStr(u"com_nano"_s, {}), u"2"_s);
    EXPECT_TRUE(child("cmdConnetti")->isHidden());
    EXPECT_EQ(look("cmdChiudiConnessione"), ShownOn);
    EXPECT_EQ(look("cmdAbilitaVisibile"), ShownOn);
    EXPECT_EQ(look("cmdAbilitaRicezione"), ShownOn);
    EXPECT_TRUE(child("cmdInviaDB")->isEnabled());
    EXPECT_FALSE(child<QLabel>("picVerde")->isHidden());
    EXPECT_TRUE(child<QLabel>("picRossa")->isHidden());

    child("cmdAbilitaVisibile")->click();
    EXPECT_EQ(look("cmdAbilitaVisibile"), Hidden);
    EXPECT_EQ(look("cmdDisabilitaVisibile"), ShownOn);

    // Reception while pairing: visible mode goes off first.
    child("cmdAbilitaRicezione")->click();
    EXPECT_EQ(look("cmdDisabilitaVisibile"), Hidden);
    EXPECT_EQ(look("cmdAbilitaRicezione"), Hidden);
    EXPECT_EQ(look("cmdFermaRicezione"), ShownOn);
    EXPECT_TRUE(nano.TimerNano().isActive());
    EXPECT_EQ(logLines().mid(2), (QStringList{u"...Abilitata modalita' visibile "_s,
                                              u"...Disabilitata modalita' visibile "_s,
                                              u"...inizio ricezione ordini"_s}));
    EXPECT_EQ(child<QListWidget>("ListLog")->currentRow(), 4) << "the list follows the last line";

    // Closing while receiving: the timer runs on, reception's button shown but off.
    child("cmdChiudiConnessione")->click();
    EXPECT_TRUE(nano.TimerNano().isActive());
    EXPECT_TRUE(child("cmdFermaRicezione")->isHidden());
    EXPECT_EQ(look("cmdAbilitaRicezione"), ShownOff);
    EXPECT_EQ(look("cmdConnetti"), ShownOn);
    EXPECT_FALSE(child<QLabel>("picRossa")->isHidden());
    EXPECT_FALSE(nanoAttivo);
}

TEST_F(NanoWindowTest, OpeningWhileTheLinkRunsShowsItConnectedAndReceiving)
{
    ap.present = true;
    nanoAttivo = true;
    nano.abilitaRicezione();
    window.apri();
    EXPECT_TRUE(child("cmdConnetti")->isHidden());
    EXPECT_EQ(look("cmdChiudiConnessione"), ShownOn);
    EXPECT_EQ(look("cmdFermaRicezione"), ShownOn);
    EXPECT_EQ(look("cmdAbilitaRicezione"), Hidden);
    EXPECT_TRUE(nano.TimerNano().isActive());

    child("cmdFermaRicezione")->click();
    EXPECT_FALSE(nano.TimerNano().isActive());
    EXPECT_EQ(logLines().last(), u"...Disabilitata ricezione"_s);
}

} // namespace
