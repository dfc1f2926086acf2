// SPDX-License-Identifier: GPL-3.0-or-later
// The main window and tray menu as the operator sees them, on the offscreen platform.
#include "CommandWiring.h"
#include "NullAccessPoint.h"
#include "PrintingFixture.h"
#include "ServerContext.h"
#include "ServerCore.h"
#include "frmMain.h"
#include "LogEvents.h"
#include "frmSysTray.h"
#include "QtTranslations.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class MainWindowTest : public ::testing::Test
{
protected:
    MainWindowTest() { build(); }
    // The window on a server without a configuration file, as a first start shows it.
    void build(std::unique_ptr<OperatorUi> ui = nullptr)
    {
        window.reset();
        core.reset();
        context = std::make_unique<ServerContext>(std::make_unique<Registry>(dir.filePath(u"plikoserver.ini"_s)),
                                                  std::move(ui), nullptr);
        core = std::make_unique<ServerCore>(*context);
        window = std::make_unique<frmMain>(*core);
    }
    template <typename T> T *child(const char *name) { return window->findChild<T *>(QString::fromLatin1(name)); }

    RegionalGuard regionalGuard;
    QTemporaryDir dir;
    std::unique_ptr<ServerContext> context;
    std::unique_ptr<ServerCore> core;
    std::unique_ptr<frmMain> window;
};

TEST_F(MainWindowTest, TheOperatorLogFillsTheWindowAndClearEmptiesIt)
{
    context->ui().addStatus(u"connected "_s);
    context->ui().addStatus(u"dati inviati"_s);
    context->ui().appendData(u"PALM01|TestConnessione|\r\r\n"_s);
    auto *status = child<QListWidget>("lbStatus");
    ASSERT_EQ(status->count(), 2);
    // Each line shows when it happened.
    EXPECT_TRUE(QRegularExpression(u"^\\d\\d:\\d\\d:\\d\\d dati inviati$"_s).match(status->item(1)->text()).hasMatch())
        << status->item(1)->text().toStdString();
    EXPECT_TRUE(child<QPlainTextEdit>("txtDati")->toPlainText().contains(u"PALM01|TestConnessione|"_s));

    child<QPushButton>("cmdClear")->click();
    EXPECT_EQ(status->count(), 0);
    EXPECT_TRUE(child<QPlainTextEdit>("txtDati")->toPlainText().isEmpty());

    // A long service keeps the newest lines of the log, never none.
    OperatorUi log;
    for (int i = 0; i <= 10000; ++i)
        log.addStatus(QString::number(i));
    ASSERT_EQ(log.statusLines().size(), 5000);
    EXPECT_EQ(log.statusLines().last(), u"10000"_s);
}

TEST_F(MainWindowTest, TheConnectionTableFollowsTheSlots)
{
    auto *table = child<QTreeWidget>("lvConnessioni");
    emit core->wsServer().slotChanged(2, 7, u"192.168.1.20"_s);
    emit core->wsServer().slotChanged(3, 7, u"192.168.1.21"_s);
    ASSERT_EQ(table->topLevelItemCount(), 2);
    EXPECT_EQ(table->topLevelItem(0)->text(2), u"192.168.1.20"_s);
    emit core->wsServer().slotChanged(2, 0, {});
    ASSERT_EQ(table->topLevelItemCount(), 1);
    EXPECT_EQ(table->topLevelItem(0)->text(0), u"3"_s);
}

TEST_F(MainWindowTest, TheTrayMenuHasItsFourItemsAndTheRadioWindowItemShowsTheRadioWindow)
{
    const QList<QAction *> actions = window->tray()->menu()->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->text(), u"&Attiva Duvu"_s);
    EXPECT_EQ(actions[1]->text(), u"&Gestione Duvu"_s);
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(actions[3]->text(), u"&Esci da Tavora Restaurant Server"_s);
    int shown = 0;
    context->showNanoWindow = [&] { ++shown; };
    actions[1]->trigger();
    EXPECT_EQ(shown, 1);
}

TEST_F(MainWindowTest, ALeftClickOnTheTrayIconShowsOrHidesTheWindowAndCloseAsksBeforeItEndsTheProgram)
{
    int exitCode = -1;
    QObject::connect(core.get(), &ServerCore::finished, [&](int code) { exitCode = code; });
    window->presentAtStart();
    EXPECT_EQ(window->windowTitle(), u"PlikoServerWindow"_s);
    EXPECT_FALSE(window->windowIcon().isNull());
    emit window->tray()->mousePressed(1);
    EXPECT_FALSE(window->isVisible());
    emit window->tray()->mousePressed(1);
    EXPECT_TRUE(window->isVisible());
    // The headless answer to a question is no: a click on Close in the middle of service ends nothing.
    child<QPushButton>("cmdClose")->click();
    EXPECT_EQ(exitCode, -1);
    EXPECT_TRUE(window->isVisible());
    window->close();
    EXPECT_EQ(exitCode, -1) << "closing the window asks too";
    EXPECT_TRUE(window->isVisible());

    // Answered yes, it ends the program.
    struct YesUi : OperatorUi
    {
        QStringList asked;
        bool question(const QString &text) override
        {
            asked << text;
            return true;
        }
    };
    auto ui = std::make_unique<YesUi>();
    YesUi *yes = ui.get();
    build(std::move(ui));
    QObject::connect(core.get(), &ServerCore::finished, [&](int code) { exitCode = code; });
    window->presentAtStart();
    child<QPushButton>("cmdClose")->click();
    EXPECT_EQ(yes->asked, QStringList{ServerCore::QuitQuestion});
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, QtsOwnButtonsSpeakItalian)
{
    ASSERT_TRUE(installQtItalian(qApp)) << "qt6-translations-l10n is installed by scripts/install-deps.sh";
    QMessageBox box(QMessageBox::Question, u"Tavora"_s, ServerCore::QuitQuestion, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(u'&'), u"Sì"_s);
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove(u'&'), u"No"_s);
}

using PendingTicketsList = PrintingFixture;

TEST_F(PendingTicketsList, AnOwedTicketOfAMissingPrinterIsListedAndTheButtonPrintsItOnce)
{
    configura(2, u"Cucina"_s, {}, false); // the kitchen's printer is missing
    registry->sync();
    ServerContext context(std::make_unique<Registry>(m_dir.filePath(u"plikoserver.ini"_s)), nullptr, nullptr);
    context.databasePath = tdb.path();
    ServerCore core(context);
    core.dispatcher().setDatabasePath(tdb.path());
    HandheldServices services(core.dispatcher(), context, core.wsServer());
    frmMain window(core);
    window.setComandeDaStampare({[&] { return services.daStampare(); },
                                 [&](qint32 comanda, qint32 zona) { return services.ristampa(comanda, zona); }});

    // An order of table 7 with a dish for the kitchen, its ticket failing on the missing printer.
    const qint32 comanda = nuovaComanda(7);
    nuovaRiga(comanda, Carbonara, 2);
    frm->stampaComanda(comanda, u"7"_s);

    window.aggiornaDaStampare();
    auto *list = window.findChild<QTreeWidget *>(u"lvDaStampare"_s);
    auto *button = window.findChild<QPushButton *>(u"cmdRistampa"_s);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    const QTreeWidgetItem *row = list->topLevelItem(0);
    // Order, table, zone, printer, tickets owed, and the printer's error.
    EXPECT_EQ(QStringList({row->text(0), row->text(1), row->text(2), row->text(3), row->text(5)}),
              QStringList({QString::number(comanda), u"7"_s, u"cucina"_s, u"Cucina"_s, u"1"_s}));
    EXPECT_FALSE(row->text(6).isEmpty());
    EXPECT_FALSE(button->isEnabled()) << "nothing selected yet";

    // The printer is back: the button prints the selected order's kitchen ticket, and what it owed
    // is settled with it, so a retry prints nothing more.
    QDir(spoolDir()).mkpath(u"Cucina"_s);
    list->setCurrentItem(list->topLevelItem(0));
    ASSERT_TRUE(button->isEnabled());
    button->click();
    ASSERT_EQ(biglietti(u"Cucina"_s).size(), 1);
    const QString text = biglietti(u"Cucina"_s)[0];
    EXPECT_TRUE(text.contains(frmStampeDocumenti::EtichettaRistampa)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"2 Spaghetti alla carbonara"_s)) << text.toStdString();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(services.riprovaOra(), 0);
    EXPECT_EQ(biglietti(u"Cucina"_s).size(), 1);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

Q_LOGGING_CATEGORY(lcProvaAvvio, "pliko.start")
Q_LOGGING_CATEGORY(lcProvaOrdini, "pliko.orders")

TEST_F(MainWindowTest, StartUpLinesAndWarningsOfTheStartReachTheEventList)
{
    auto *status = child<QListWidget>("lbStatus");
    {
        LogEvents events(context->ui());
        qCInfo(lcProvaAvvio) << "in ascolto sulla porta 31512";
        qCWarning(lcProvaOrdini) << "database non raggiungibile";
        qCInfo(lcProvaOrdini) << "una richiesta";
        events.avviato();
        qCWarning(lcProvaOrdini) << "un avviso del servizio";
        qCInfo(lcProvaAvvio) << "server terminato";
        QCoreApplication::processEvents();
    }
    qCInfo(lcProvaAvvio) << "dopo";
    QCoreApplication::processEvents();
    QStringList testi;
    for (int i = 0; i < status->count(); ++i)
        testi << status->item(i)->text().mid(9);
    EXPECT_EQ(testi, QStringList({u"in ascolto sulla porta 31512"_s, u"database non raggiungibile"_s,
                                  u"server terminato"_s}));
}
