// SPDX-License-Identifier: GPL-3.0-or-later
// plikoserver: the restaurant order server. Windows and tray by default; --headless (and any start
// without a display) runs the same server on the offscreen platform, logging to standard error
// and ending cleanly on SIGTERM or SIGINT.

#include "AccessPoint.h"
#include "CommandWiring.h"
#include "ConfigCheck.h"
#include "ControlChannel.h"
#include "CrashReport.h"
#include "ErrorRoutine.h"
#include "FatalSignals.h"
#include "FirstRunSetup.h"
#include "Guarded.h"
#include "GuiOperatorUi.h"
#include "LogEvents.h"
#include "Housekeeping.h"
#include "LogSetup.h"
#include "NanoExport.h"
#include "NanoWiring.h"
#include "PrinterBackend.h"
#include "PrinterList.h"
#include "QtTranslations.h"
#include "Restart.h"
#include "SegnalazioneErrore.h"
#include "ServerContext.h"
#include "ServerCore.h"
#include "ServiceSupervisor.h"
#include "SignalWatcher.h"
#include "frmMain.h"
#include "frmStampeDocumenti.h"
#include "frmNano.h"
#include "frmErroreRuntime.h"
#include "frmTestInvioComande.h"
#include "WebWiring.h"
#include "modGestioneTipiDato.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>
#include <optional>
#include <csignal>
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
#ifdef Q_OS_UNIX
    // A log reader that went away (a restarted server's inherited standard error) must not end us.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    const bool headless = wantsHeadless(argc, argv);
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a runtime folder of mode 0700 and warns at every start without one. A start without a
    // session (the service too: its RuntimeDirectory is open to the administrators' group for the
    // control socket) gets the private folder Qt would make itself.
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
    // Without TZ the C library looks at /etc/localtime again at every reading of the local time
    // (several per order); named once here it is read once. The zone's rules, summer time included,
    // come with it; only a change of the machine's zone waits for the next start.
    if (!qEnvironmentVariableIsSet("TZ") && ::access("/etc/localtime", R_OK) == 0)
        qputenv("TZ", ":/etc/localtime");
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
    // Qt's own words (the frame of --help, the dialogs) in Italian, with windows or without.
    const bool qtItalian = installQtItalian(app.get());
    if (!headless) {
        QApplication::setQuitOnLastWindowClosed(false);
        if (!qtItalian)
            std::fprintf(stderr, "plikoserver: mancano le traduzioni italiane di Qt (qt6-translations-l10n)\n");
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Server delle comande di Tavora-Restaurant per i palmari dei camerieri."_s);
    // Qt's own help option describes itself in English even with its Italian translations.
    const QCommandLineOption helpOption({u"h"_s, u"help"_s}, u"Mostra questo aiuto."_s);
    parser.addOption(helpOption);
    parser.addVersionOption();
    const QCommandLineOption configOption(u"config"_s, u"File di configurazione (predefinito: %1)."_s.arg(
                                              FirstRunSetup::defaultConfigPath()), u"FILE"_s);
    const QCommandLineOption headlessOption(u"headless"_s,
                                            u"Senza finestre: registro sullo standard error, fine con SIGTERM/SIGINT."_s);
    const QCommandLineOption checkOption(u"check-config"_s,
                                         u"Controlla il file di configurazione, una riga per problema; stato di uscita 2 se ce ne sono."_s);
    parser.addOption(configOption);
    parser.addOption(headlessOption);
    // "/noerrors" (added by pliko-restart after an internal fault) is read from the arguments
    // below; it is no option for a user, so the usage does not show it.
    parser.addOption(checkOption);
    parser.process(*app);
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }

    if (parser.isSet(checkOption)) {
        const QString path = parser.isSet(configOption) ? parser.value(configOption) : FirstRunSetup::defaultConfigPath();
        const QStringList problems = ConfigCheck::problems(Registry(path));
        for (const QString &p : problems)
            std::fprintf(stdout, "%s\n", qPrintable(p));
        for (const QString &w : ConfigCheck::warnings(Registry(path)))
            std::fprintf(stdout, "avviso: %s\n", qPrintable(w));
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
                std::fprintf(
                    stderr, "plikoserver: configurazione della prima esecuzione non riuscita: %s\n", qPrintable(error));
                return 2;
            }
            firstRunNote = u"Prima esecuzione: creata la configurazione "_s + configPath
                           + u" con il ristorante dimostrativo e le stampanti su cartella in "_s
                           + FirstRunSetup::defaultDataFolder();
        }
    } else if (!QFileInfo::exists(configPath)) {
        std::fprintf(stderr, "plikoserver: file di configurazione non trovato: %s\n", qPrintable(configPath));
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

    // Crash reports and the restart are ready before anything else can fail.
    // The same private work folder the rest of the server uses (never a shared name under /tmp).
    const QString tempRoot = QFileInfo(QDir::tempPath()).canonicalFilePath();
    QString workFolder = nano::cartellaTemporanea(tempRoot.isEmpty() ? QDir::tempPath() : tempRoot);
    if (workFolder.isEmpty())
        workFolder = QDir(QDir::tempPath()).filePath(u"QM9Temp"_s);
    QString crashFolder = registry->option(u"CrashReportDir"_s);
    if (crashFolder.isEmpty())
        crashFolder = QDir(workFolder).filePath(u"QM10Errors"_s);
    QDir().mkpath(crashFolder);
    if (QCoreApplication::arguments().contains(diagnostics::NoErrorsArgument))
        qCWarning(lcLog) << "riavviato dopo un errore interno";
    for (const QString &archive : diagnostics::archiveLeftovers(crashFolder))
        qCWarning(lcLog).noquote() << "rapporto dell'arresto precedente:" << archive;
    // Under systemd a helper started from the service would be stopped with it: the unit's
    // Restart=on-failure starts the server again instead.
    const bool serviceManaged = diagnostics::underServiceManager();
    // The helper is beside the server in a build folder, in ../libexec/plikoserver when installed.
    QString helperFolder = QCoreApplication::applicationDirPath();
    if (!QFileInfo::exists(QDir(helperFolder).filePath(diagnostics::HelperName)))
        helperFolder = QDir::cleanPath(helperFolder + u"/../libexec/plikoserver"_s);
    diagnostics::Restarter restarter(helperFolder, workFolder,
                                     QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1));
    const QString helper = serviceManaged ? QString() : restarter.prepareHelper();
    bool limitOk = false;
    const int restartLimit = registry->option(u"RestartLimit"_s, u"5"_s).toInt(&limitOk);
    qputenv("PLIKO_RESTART_LIMIT", QByteArray::number(limitOk && restartLimit >= 0 ? restartLimit : 5));
    qputenv("PLIKO_RESTART_HISTORY", QFile::encodeName(QDir(workFolder).filePath(u"pliko-restart.history"_s)));
    diagnostics::installFatalSignalHandlers({crashFolder, helper, restarter.helperArgument()});
    std::unique_ptr<OperatorUi> ui;
    if (headless)
        ui = std::make_unique<OperatorUi>();
    else
        ui = std::make_unique<GuiOperatorUi>();
    auto accessPoint = NanoWiring::creaAccessPoint(*registry);
    ServerContext context(std::move(registry), std::move(ui), std::move(accessPoint), std::make_unique<SystemClock>());
    std::optional<LogEvents> logEvents;
    if (!headless)
        logEvents.emplace(context.ui()); // start-up lines and warnings in "Eventi" too
    ServerCore core(context);
    HandheldServices services(core.dispatcher(), context, core.link());
    NanoWiring radio(context);
    ControlChannel control;
    radio.registraComandi(control);
    services.registraComandi(control);
    WebWiring web(context, core.dispatcher(), services, control);

    diagnostics::ErrorSetup errors;
    errors.crashFolder = crashFolder;
    errors.customerId = tipi::toText(context.registry().backOffice(u"CodiceCliente"_s));
    errors.email = tipi::toText(context.registry().backOffice(u"EmailSegnalazioni"_s));
    errors.registryExtract = [configPath] {
        QFile f(configPath);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    errors.databaseStatus = [&context] {
        clsDatabase &db = context.database();
        return u"database %1, aperto: %2, transazione: %3, ultimo errore: %4"_s.arg(
            context.databasePath, db.isOpened() ? u"si"_s : u"no"_s, db.inTransaction() ? u"si"_s : u"no"_s,
            db.lastErrorText());
    };
    errors.criticalMessage = [&context](const QString &text) { context.ui().message(text, OperatorUi::Icon::Critical); };
    if (!headless) {
        // The screen and the window belong to the GUI thread: a fault on the database thread writes
        // its report without them (and never waits on the operator).
        errors.screenshot = [](const QString &path) {
            if (QThread::currentThread() != qApp->thread())
                return;
            if (QScreen *screen = QGuiApplication::primaryScreen())
                screen->grabWindow(0).save(path, "PNG");
        };
        errors.showWindow = [&context](diagnostics::CrashReport &report) {
            if (QThread::currentThread() != qApp->thread())
                return;
            frmErroreRuntime window(report, context.registry().option(u"CrashReportUrl"_s), &context.ui());
            window.setPrint([&context](const diagnostics::CrashReport &r, QString *error) {
                // The report goes to the cash desk's printer, where the operator stands.
                auto backend = PrinterBackend::create(context.registry());
                const QString printer =
                    tipi::toText(context.registry().backOffice(u"zona_ristorante_cassa"_s)).section(u'|', 0, 0).trimmed();
                return stampaSegnalazioneErrore(r.record(), r.customerId(),
                                                QCoreApplication::applicationDirPath() + u"/ErrorsReport.xml"_s,
                                                *backend, printer, error);
            });
            window.exec();
        };
    }
    errors.restart = [&core, &restarter, serviceManaged] {
        // The end is run by the main thread (it closes the handheld server, then the database thread).
        if (QThread::currentThread() != core.thread()) {
            QMetaObject::invokeMethod(&core, diagnostics::errorSetup().restart, Qt::QueuedConnection);
            return;
        }
        if (serviceManaged) {
            qCCritical(lcLog) << "fine per errore interno: il servizio riavvia il server";
        } else if (!restarter.startHelper()) {
            // Ending without anyone to start us again would leave the restaurant without service.
            qCCritical(lcLog) << "riavvio non possibile: il server continua";
            return;
        }
        core.termina(diagnostics::ExitRestartWanted);
    };
    diagnostics::installErrorSetup(std::move(errors));
    diagnostics::setTraceOverflowNotice(
        [&context](const QString &text) { context.ui().message(text, OperatorUi::Icon::Critical); });
    ServiceSupervisor supervisor(core, context);
    control.addStatusSection([&supervisor] { return supervisor.status().statusLines(); });

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
    std::unique_ptr<frmNano> nanoWindow;
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
        // "Gestione Duvu": created when first shown, kept (hidden) after "Esci".
        context.showNanoWindow = [&radio, &nanoWindow] {
            if (!nanoWindow)
                nanoWindow = std::make_unique<frmNano>(radio.control());
            nanoWindow->apri();
        };
        window->presentAtStart();
        FonteComandeDaStampare fonte;
        fonte.elenco = [&services] { return services.daStampare(); };
        fonte.ristampa = [&services](qint32 comanda, qint32 zona) { return services.ristampa(comanda, zona); };
        window->setComandeDaStampare(std::move(fonte));
        services.setAvvisoZona([&window](const QList<qint32> &guaste) {
            QStringList nomi;
            for (const qint32 z : guaste)
                nomi.append(frmStampeDocumenti::nomeTipoStampante(z));
            if (window)
                window->avvisoStampanti(nomi);
        });
    }
    qCInfo(lcLog).noquote() << "plikoserver" << QCoreApplication::applicationVersion() << "configurazione"
                            << configPath << (headless ? "(headless)" : "");
    if (!firstRunNote.isEmpty())
        context.ui().message(firstRunNote, OperatorUi::Icon::Information);

    for (const QString &p : ConfigCheck::resourceProblems(context.registry()))
        qCWarning(lcLog).noquote() << "configurazione:" << p;
    int status = 0;
    if (!diagnostics::runGuarded("frmMain", "Form_Load", diagnostics::Where::Outside,
                                 [&] { status = core.avvia(); })) {
        diagnostics::installErrorSetup({});
        return diagnostics::ExitRestartWanted;
    }
    if (status == 0) {
        const QString socketPath = context.registry().option(u"ControlSocket"_s, ControlChannel::defaultPath());
        if (socketPath.compare(u"off"_s, Qt::CaseInsensitive) != 0)
            control.start(socketPath);
        web.avvia();
    }
    if (status != 0) {
        if (auto *gui = dynamic_cast<GuiOperatorUi *>(&context.ui()))
            gui->waitForOpenMessages();
        core.termina(status);
        diagnostics::installErrorSetup({});
        return status;
    }
    // Tickets owed from before a stop print from inside the event loop, counted as a request in
    // progress: a stop asked for meanwhile waits for them to be printed and marked, and still ends
    // the program (an exit asked for before the loop runs would be lost).
    // From here on, requests that touch the database run on the database thread.
    core.avviaThreadDatabase();
    QTimer::singleShot(0, &core, [&core, &services, &context] {
        core.databaseThread().post([&core, &services, &context] {
            const bool held = core.dispatcher().hold();
            diagnostics::runGuarded("frmMain", "ristampaComandeInSospeso", diagnostics::Where::Outside,
                                    [&] { services.ristampaComandeInSospeso(context); });
            core.dispatcher().release(held);
        });
    });
    // Old spool files and crash reports are removed once a day (the options apply at a reload).
    Housekeeping housekeeping([&context, crashFolder] {
        const Registry &registry = context.registry();
        Housekeeping::Limits limits;
        limits.spoolFolder = registry.option(u"PrintSpoolDir"_s);
        limits.spoolKeepDays = registry.option(u"SpoolKeepDays"_s, u"7"_s).toInt();
        limits.crashFolder = crashFolder;
        limits.crashReportKeep = registry.option(u"CrashReportKeep"_s, u"50"_s).toInt();
        return limits;
    });
    housekeeping.start();
    supervisor.started();
    if (logEvents)
        QTimer::singleShot(0, &core, [&logEvents] { logEvents->avviato(); });
    const int code = app->exec();
    // The routine's hooks reach objects of this function: none may run once they are gone.
    diagnostics::installErrorSetup({});
    diagnostics::setTraceOverflowNotice({});
    return code;
}
