// SPDX-License-Identifier: GPL-3.0-or-later
// plikoserver: the restaurant order server. Windows and tray by default; --headless (and any start
// without a display) runs the same server on the offscreen platform, logging to standard error
// and ending cleanly on SIGTERM or SIGINT.

#include "CommandWiring.h"
#include "ConfigCheck.h"
#include "FirstRunSetup.h"
#include "GuiOperatorUi.h"
#include "LogSetup.h"
#include "NullAccessPoint.h"
#include "PrinterList.h"
#include "QtTranslations.h"
#include "ServerContext.h"
#include "ServerCore.h"
#include "ServiceSupervisor.h"
#include "SignalWatcher.h"
#include "frmMain.h"
#include "frmTestInvioComande.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLoggingCategory>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <memory>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcLog, "pliko.log")

namespace {
bool wantsHeadless(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "-headless") == 0
            || std::strcmp(argv[i], "--check-config") == 0)
            return true;
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // No display to open windows on: the same server runs headless rather than failing.
    const bool hasDisplay = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!hasDisplay && (platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland")))
        return true;
#endif
    return false;
}
} // namespace

int main(int argc, char **argv)
{
    const bool headless = wantsHeadless(argc, argv);
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a runtime folder and warns at every start without one. A service has systemd's
    // (RuntimeDirectory); a start without a session gets the private folder Qt would make itself.
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR") && qEnvironmentVariableIsSet("RUNTIME_DIRECTORY"))
        qputenv("XDG_RUNTIME_DIR", qgetenv("RUNTIME_DIRECTORY").split(':').value(0));
#ifdef Q_OS_UNIX
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        const QByteArray own =
            QFile::encodeName(QDir::tempPath()) + "/runtime-plikoserver-" + QByteArray::number(::getuid());
        ::mkdir(own.constData(), 0700);
        struct stat st = {};
        // Only a folder of ours that nobody else can enter.
        if (::lstat(own.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
            && (st.st_mode & 0777) == 0700)
            qputenv("XDG_RUNTIME_DIR", own);
    }
#endif
    qSetMessagePattern(logsetup::messagePattern(logsetup::underJournal()));

    std::unique_ptr<QGuiApplication> app;
    if (headless)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"plikoserver"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIKO_VERSION));
    QGuiApplication::setApplicationDisplayName(u"Tavora Restaurant Server"_s);
    if (!headless) {
        QApplication::setQuitOnLastWindowClosed(false);
        if (!installQtItalian(app.get()))
            std::fprintf(stderr, "plikoserver: Qt's Italian translations are missing (qt6-translations-l10n)\n");
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Tavora-Restaurant order server for the waiters' handhelds."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(u"config"_s, u"Configuration file (default: %1)."_s.arg(
                                              FirstRunSetup::defaultConfigPath()), u"FILE"_s);
    const QCommandLineOption headlessOption(u"headless"_s,
                                            u"No windows: log to standard error, end on SIGTERM/SIGINT."_s);
    const QCommandLineOption checkOption(u"check-config"_s,
                                         u"Check the configuration file, one line per problem; exit status 2 on any."_s);
    parser.addOption(configOption);
    parser.addOption(headlessOption);
    parser.addOption(checkOption);
    parser.process(*app);

    if (parser.isSet(checkOption)) {
        const QString path = parser.isSet(configOption) ? parser.value(configOption) : FirstRunSetup::defaultConfigPath();
        const QStringList problems = ConfigCheck::problems(Registry(path));
        for (const QString &p : problems)
            std::fprintf(stdout, "%s\n", qPrintable(p));
        if (problems.isEmpty())
            std::fprintf(stdout, "%s: configurazione corretta\n", qPrintable(path));
        return problems.isEmpty() ? 0 : 2;
    }

    QString firstRunNote;
    QString configPath = parser.value(configOption);
    if (configPath.isEmpty()) {
        configPath = FirstRunSetup::defaultConfigPath();
        if (!QFileInfo::exists(configPath)) {
            QString error;
            if (!FirstRunSetup::create(configPath, FirstRunSetup::defaultDataFolder(), &error)) {
                std::fprintf(stderr, "plikoserver: first-run configuration failed: %s\n", qPrintable(error));
                return 2;
            }
            firstRunNote = u"Prima esecuzione: creata la configurazione "_s + configPath
                           + u" con il ristorante dimostrativo e le stampanti su cartella in "_s
                           + FirstRunSetup::defaultDataFolder();
        }
    } else if (!QFileInfo::exists(configPath)) {
        std::fprintf(stderr, "plikoserver: configuration file not found: %s\n", qPrintable(configPath));
        return 2;
    }

    auto registry = std::make_unique<Registry>(configPath);
    // A file with a mistake refuses the start: a server that guessed would serve the wrong way.
    const QStringList problems = ConfigCheck::fileProblems(*registry);
    if (!problems.isEmpty()) {
        for (const QString &p : problems)
            std::fprintf(stderr, "plikoserver: %s\n", qPrintable(p));
        std::fprintf(stderr, "plikoserver: configurazione non utilizzabile, avvio rifiutato (--check-config)\n");
        if (!headless)
            QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(),
                                  u"Configurazione non utilizzabile:\n"_s + problems.join(u'\n'));
        return 2;
    }
    logsetup::applyLogLevel(registry->option(u"LogLevel"_s, u"info"_s));
    std::unique_ptr<OperatorUi> ui;
    if (headless)
        ui = std::make_unique<OperatorUi>();
    else
        ui = std::make_unique<GuiOperatorUi>();
    ServerContext context(std::move(registry), std::move(ui), std::make_unique<NullAccessPoint>(),
                          std::make_unique<SystemClock>());
    ServerCore core(context);
    HandheldServices services(core.dispatcher(), context, core.wsServer());
    ServiceSupervisor supervisor(core, context);

    // The operator log goes to standard error too: the only log a service has, and the support
    // trail of a desktop one.
    QObject::connect(&context.ui(), &OperatorUi::statusAdded, &core,
                     [](const QString &line) { qCInfo(lcLog).noquote() << line; });
    QObject::connect(&context.ui(), &OperatorUi::dataAppended, &core,
                     [](const QString &text) { qCInfo(lcLog).noquote() << "dati:" << QString(text).trimmed(); });

    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::reloadRequested, &core, [&supervisor] {
        qCInfo(lcLog) << "SIGHUP ricevuto: ricarico la configurazione";
        supervisor.reload();
    });
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &core, [&core, &services, &supervisor](int number) {
        qCInfo(lcLog) << "segnale" << number << "ricevuto: chiusura";
        supervisor.stopping();
        // An order-sending test still open ends with the program (its last log lines are written).
        services.chiudiTest();
        core.termina(0);
    });
    QObject::connect(&core, &ServerCore::finished, &supervisor, &ServiceSupervisor::stopping);
    QObject::connect(&core, &ServerCore::finished, app.get(), [](int code) { QCoreApplication::exit(code); },
                     Qt::QueuedConnection);

    std::unique_ptr<frmMain> window;
    std::unique_ptr<frmTestInvioComande> testWindow;
    if (!headless) {
        testWindow = std::make_unique<frmTestInvioComande>(services.testInvioComande());
        // The summary's printer is picked from the installed ones (the pre-bill printer first).
        services.setSceltaStampante([w = testWindow.get(), &context](QString &printer) {
            QStringList printers = installedPrinters(context.registry());
            if (!printer.isEmpty()) {
                printers.removeAll(printer);
                printers.prepend(printer);
            }
            bool ok = false;
            const QString chosen =
                QInputDialog::getItem(w, u"Stampa resoconto"_s, u"Stampante:"_s, printers, 0, true, &ok);
            if (ok)
                printer = chosen.trimmed();
            return ok;
        });
        window = std::make_unique<frmMain>(core);
        window->presentAtStart();
    }
    qCInfo(lcLog).noquote() << "plikoserver" << QCoreApplication::applicationVersion() << "configurazione"
                            << configPath << (headless ? "(headless)" : "");
    if (!firstRunNote.isEmpty())
        context.ui().message(firstRunNote, OperatorUi::Icon::Information);

    for (const QString &p : ConfigCheck::resourceProblems(context.registry()))
        qCWarning(lcLog).noquote() << "configurazione:" << p;
    const int status = core.avvia();
    if (status != 0) {
        if (auto *gui = dynamic_cast<GuiOperatorUi *>(&context.ui()))
            gui->waitForOpenMessages();
        core.termina(status);
        return status;
    }
    supervisor.started();
    return app->exec();
}
