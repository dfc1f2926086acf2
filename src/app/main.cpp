// SPDX-License-Identifier: GPL-3.0-or-later
// plikoserver: the restaurant order server. Windows and tray by default; --headless (and any start
// without a display) runs the same server on the offscreen platform, logging to standard error
// and ending cleanly on SIGTERM or SIGINT.

#include "CommandWiring.h"
#include "FirstRunSetup.h"
#include "GuiOperatorUi.h"
#include "NullAccessPoint.h"
#include "ServerContext.h"
#include "ServerCore.h"
#include "SignalWatcher.h"
#include "frmMain.h"
#include "frmTestInvioComande.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLoggingCategory>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcLog, "pliko.log")

namespace {
bool wantsHeadless(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "-headless") == 0)
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

// [PlikoServer] LogLevel: debug, info (default) or warning.
void applyLogLevel(const QString &level)
{
    QString rules = u"pliko.operator.debug=false\n"_s;
    if (level.compare(u"debug"_s, Qt::CaseInsensitive) == 0)
        rules = u"pliko.*.debug=true\npliko.operator.debug=false\n"_s;
    else if (level.compare(u"warning"_s, Qt::CaseInsensitive) == 0)
        rules += u"pliko.*.debug=false\npliko.*.info=false\n"_s;
    else
        rules += u"pliko.*.debug=false\n"_s;
    QLoggingCategory::setFilterRules(rules);
}
} // namespace

int main(int argc, char **argv)
{
    const bool headless = wantsHeadless(argc, argv);
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qSetMessagePattern(u"%{time yyyy-MM-dd HH:mm:ss.zzz} "
                       "%{if-debug}D%{endif}%{if-info}I%{endif}%{if-warning}W%{endif}%{if-critical}C%{endif}"
                       "%{if-fatal}F%{endif} %{category}: %{message}"_s);

    std::unique_ptr<QGuiApplication> app;
    if (headless)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"plikoserver"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIKO_VERSION));
    QGuiApplication::setApplicationDisplayName(u"Tavora Restaurant Server"_s);
    if (!headless)
        QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Tavora-Restaurant order server for the waiters' handhelds."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(u"config"_s, u"Configuration file (default: %1)."_s.arg(
                                              FirstRunSetup::defaultConfigPath()), u"FILE"_s);
    const QCommandLineOption headlessOption(u"headless"_s,
                                            u"No windows: log to standard error, end on SIGTERM/SIGINT."_s);
    parser.addOption(configOption);
    parser.addOption(headlessOption);
    parser.process(*app);

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
    applyLogLevel(registry->option(u"LogLevel"_s, u"info"_s));
    std::unique_ptr<OperatorUi> ui;
    if (headless)
        ui = std::make_unique<OperatorUi>();
    else
        ui = std::make_unique<GuiOperatorUi>();
    ServerContext context(std::move(registry), std::move(ui), std::make_unique<NullAccessPoint>(),
                          std::make_unique<SystemClock>());
    ServerCore core(context);
    HandheldServices services(core.dispatcher(), context, core.wsServer());

    // The operator log goes to standard error too: the only log a service has, and the support
    // trail of a desktop one.
    QObject::connect(&context.ui(), &OperatorUi::statusAdded, &core,
                     [](const QString &line) { qCInfo(lcLog).noquote() << line; });
    QObject::connect(&context.ui(), &OperatorUi::dataAppended, &core,
                     [](const QString &text) { qCInfo(lcLog).noquote() << "dati:" << QString(text).trimmed(); });

    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &core, [&core, &services](int number) {
        qCInfo(lcLog) << "segnale" << number << "ricevuto: chiusura";
        // An order-sending test still open ends with the program (its last log lines are written).
        services.chiudiTest();
        core.termina(0);
    });
    QObject::connect(&core, &ServerCore::finished, app.get(), [](int code) { QCoreApplication::exit(code); },
                     Qt::QueuedConnection);

    std::unique_ptr<frmMain> window;
    std::unique_ptr<frmTestInvioComande> testWindow;
    if (!headless) {
        testWindow = std::make_unique<frmTestInvioComande>(services.testInvioComande());
        services.setSceltaStampante([w = testWindow.get()](QString &printer) {
            bool ok = false;
            const QString chosen = QInputDialog::getText(w, u"Stampa resoconto"_s, u"Stampante:"_s, QLineEdit::Normal,
                                                         printer, &ok);
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

    const int status = core.avvia();
    if (status != 0) {
        if (auto *gui = dynamic_cast<GuiOperatorUi *>(&context.ui()))
            gui->waitForOpenMessages();
        core.termina(status);
        return status;
    }
    services.ristampaComandeInSospeso(context);
    return app->exec();
}
