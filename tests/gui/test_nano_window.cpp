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
    // The panel as the operator finds it: each control "on", "off" (shown but disabled) or "-" (hidden).
    std::string look()
    {
        QStringList parts;
        for (const char *name : {"cmdConnetti", "cmdChiudiConnessione", "cmdAbilitaVisibile", "cmdDisabilitaVisibile",
                                 "cmdAbilitaRicezione", "cmdFermaRicezione", "cmdInviaDB", "picVerde", "picRossa"}) {
            const QWidget *w = child<QWidget>(name);
            parts << QString::fromLatin1(name).remove(u"cmd"_s) + u':'
                         + (w->isHidden() ? u"-"_s : w->isEnabled() ? u"on"_s : u"off"_s);
        }
        return parts.join(u' ').toStdString();
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

// The panel without a link, and while it receives orders.
constexpr const char *Idle = "Connetti:on ChiudiConnessione:- AbilitaVisibile:off DisabilitaVisibile:- "
                             "AbilitaRicezione:off FermaRicezione:- InviaDB:off picVerde:- picRossa:-";
constexpr const char *Receiving = "Connetti:- ChiudiConnessione:on AbilitaVisibile:on DisabilitaVisibile:- "
                                  "AbilitaRicezione:- FermaRicezione:on InviaDB:on picVerde:on picRossa:-";

TEST_F(NanoWindowTest, OpeningWithoutALinkShowsTheIdleLookTakesTheLinkOverAndAFailedConnectOnlyLogs)
{
    comNano(QString());
    nano.abilitaRicezione();
    window.apri();
    auto *com = child<QComboBox>("cmbCom");
    EXPECT_EQ(com->itemText(com->currentIndex()), u"COM 1"_s);
    EXPECT_EQ(com->itemText(98), u"COM 99"_s);

    EXPECT_EQ(look(), Idle);
    EXPECT_TRUE(child<QProgressBar>("Barra")->isHidden());
    EXPECT_FALSE(nano.TimerNano().isActive());
    EXPECT_TRUE(nanoAttivo);

    // Connecting on a port without an access point only logs.
    child("cmdConnetti")->click();
    EXPECT_EQ(ap.opened.value(ap.opened.size() - 1), 1); // the last port opened
    EXPECT_EQ(logLines(), (QStringList{u"...Ricerca Access point su COM 1"_s, u"...Access point non trovato"_s}));
    EXPECT_EQ(look(), Idle);
}

TEST_F(NanoWindowTest, AConnectedAccessPointIsDrivenButtonByButton)
{
    comNano(u"COM 2"_s);
    window.apri();
    ap.present = true;
    child("cmdConnetti")->click();
    EXPECT_EQ(ap.opened.value(ap.opened.size() - 1), 2);
    EXPECT_EQ(modPlikoServer(database.db()).leggiVarStr(u"com_nano"_s, {}), u"2"_s);
    EXPECT_EQ(look(), "Connetti:- ChiudiConnessione:on AbilitaVisibile:on DisabilitaVisibile:- AbilitaRicezione:on "
                     "FermaRicezione:- InviaDB:on picVerde:on picRossa:-");

    child("cmdAbilitaVisibile")->click();
    EXPECT_EQ(look(), "Connetti:- ChiudiConnessione:on AbilitaVisibile:- DisabilitaVisibile:on AbilitaRicezione:on "
                     "FermaRicezione:- InviaDB:on picVerde:on picRossa:-");

    // Reception while pairing: visible mode goes off first.
    child("cmdAbilitaRicezione")->click();
    EXPECT_EQ(look(), Receiving);
    EXPECT_TRUE(nano.TimerNano().isActive());
    EXPECT_EQ(logLines().mid(2), (QStringList{u"...Abilitata modalita' visibile "_s,
                                              u"...Disabilitata modalita' visibile "_s,
                                              u"...inizio ricezione ordini"_s}));
    EXPECT_EQ(child<QListWidget>("ListLog")->currentRow(), 4) << "the list follows the last line";

    // Closing while receiving: the timer runs on, reception's button shown but off.
    child("cmdChiudiConnessione")->click();
    EXPECT_TRUE(nano.TimerNano().isActive());
    EXPECT_EQ(look(), "Connetti:on ChiudiConnessione:- AbilitaVisibile:off DisabilitaVisibile:- AbilitaRicezione:off "
                     "FermaRicezione:- InviaDB:off picVerde:- picRossa:on");
    EXPECT_FALSE(nanoAttivo);
}

TEST_F(NanoWindowTest, OpeningWhileTheLinkRunsShowsItConnectedAndReceiving)
{
    comNano(u"3"_s); // the port as the server stores it
    ap.present = true;
    nanoAttivo = true;
    nano.abilitaRicezione();
    window.apri();
    EXPECT_EQ(child<QComboBox>("cmbCom")->currentIndex(), 2);
    EXPECT_EQ(look(), Receiving);
    EXPECT_TRUE(nano.TimerNano().isActive());

    child("cmdFermaRicezione")->click();
    EXPECT_FALSE(nano.TimerNano().isActive());
    EXPECT_EQ(logLines().last(), u"...Disabilitata ricezione"_s);
}

} // namespace
