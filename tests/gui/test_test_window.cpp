// SPDX-License-Identifier: GPL-3.0-or-later
// The order-sending test window, on the offscreen platform.
#include "OperatorUi.h"
#include "TestInvioComande.h"
#include "TestSupport.h"
#include "frmTestInvioComande.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(TestWindow, OpensWithTheFirstTestOrderCountsThemAndClosingEndsTheTest)
{
    RegionalGuard guard;
    QTemporaryDir dir;
    OperatorUi ui;
    TestInvioComande test(dir.path(), &ui, nullptr);
    frmTestInvioComande window(test);
    EXPECT_FALSE(window.isVisible());

    test.avvia();
    test.riceviComanda(u"Ricevuta comanda TAVOLO: 12 OPERATORE: Giulia"_s);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.lblTotale()->text(), u"1"_s);
    EXPECT_TRUE(window.testo()->toPlainText().startsWith(u"TEST INVIO COMANDE"_s));
    EXPECT_TRUE(window.testo()->toPlainText().contains(u"TAVOLO: 12"_s));

    window.cmdChiudi()->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(test.running());
    EXPECT_EQ(ui.messages().last(), u"Vuoi stampare il resoconto del test?"_s);
}
