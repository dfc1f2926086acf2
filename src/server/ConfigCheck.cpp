// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConfigCheck.h"
#include "PgEngine.h"

#include "HandheldServer.h"
#include "MetricsServer.h"
#include "LogSetup.h"
#include "PaperSize.h"
#include "PrinterBackend.h"
#include "Registry.h"
#include "WebOptions.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

// The document types that have a printer value in the back office's key.
constexpr const char16_t *PrinterTypes[] = {u"cassa",    u"cucina",  u"pizzeria", u"bar",
                                            u"scontrino", u"fattura", u"preconto"};

// Where a value is written, for messages the operator can act on: "file:line".
class Where
{
public:
    explicit Where(const QString &path) : m_path(path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return;
        QTextStream in(&file);
        while (!in.atEnd())
            m_lines.append(in.readLine());
    }
    QString of(const QString &section, const QString &name) const
    {
        QString current;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const QString line = m_lines[i].trimmed();
            if (line.startsWith(u'[') && line.endsWith(u']')) {
                current = line.mid(1, line.size() - 2);
                continue;
            }
            if (current == section && line.section(u'=', 0, 0).trimmed() == name)
                return m_path + u':' + QString::number(i + 1);
        }
        return m_path;
    }

private:
    QString m_path;
    QStringList m_lines;
};

bool readWhole(const QString &text, qint64 min, qint64 max, qint64 *value)
{
    return tipi::parseWhole(text.trimmed(), value) && *value >= min && *value <= max;
}

} // namespace

ServerOptions ServerOptions::read(const Registry &registry, QStringList *problems, QStringList *tolerated)
{
    ServerOptions o;
    const Where where(registry.path());
    auto complain = [&](const QString &section, const QString &name, const QString &what) {
        QStringList *to = name == u"NumeroDecimali"_s ? tolerated : problems;
        if (to)
            to->append(where.of(section, name) + u": "_s + name + u": "_s + what);
    };
    const QString own = Registry::OwnKey;

    bool found = false;
    const QString decimals = tipi::toText(registry.backOffice(u"NumeroDecimali"_s, &found)).trimmed();
    qint64 number = 0;
    if (found && !readWhole(decimals, 0, 10, &number))
        complain(Registry::BackOfficeKey, u"NumeroDecimali"_s, u"\""_s + decimals + u"\" non è un numero da 0 a 10"_s);
    else if (found)
        o.decimals = int(number);

    const QString locale = registry.option(u"Locale"_s);
    if (!locale.isEmpty()) {
        const QLocale l(locale);
        if (l.language() == QLocale::C && locale != u"C"_s)
            complain(own, u"Locale"_s, u"impostazioni regionali sconosciute \""_s + locale + u"\" (es. it_IT)"_s);
        else
            o.locale = l;
    }

    // An option written without a value is the option at its default.
    const QString backend = registry.option(u"PrinterBackend"_s);
    if (!backend.isEmpty() && backend.compare(u"spool"_s, Qt::CaseInsensitive) != 0
        && backend.compare(u"cups"_s, Qt::CaseInsensitive) != 0)
        complain(own, u"PrinterBackend"_s, u"\""_s + backend + u"\" sconosciuto (cups o spool)"_s);

    const QString level = registry.option(u"LogLevel"_s);
    if (!level.isEmpty() && !logsetup::isLogLevel(level))
        complain(own, u"LogLevel"_s, u"\""_s + level + u"\" sconosciuto (debug, info o warning)"_s);
    else if (!level.isEmpty())
        o.logLevel = level.toLower();

    QString badEntry;
    if (!o.clients.parse(registry.option(u"AllowedClients"_s), &badEntry))
        complain(own, u"AllowedClients"_s, u"rete illeggibile \""_s + badEntry + u"\" (es. 192.168.1.0/24)"_s);

    const QString idle = registry.option(u"IdleTimeoutSeconds"_s);
    if (!idle.isEmpty()) {
        if (!readWhole(idle, 1, 86400, &number))
            complain(own, u"IdleTimeoutSeconds"_s, u"\""_s + idle + u"\" non è un numero di secondi da 1 a 86400"_s);
        else
            o.idleTimeout = std::chrono::seconds(number);
    }
    const QString linger = registry.option(u"DatabaseLingerMs"_s);
    if (!linger.isEmpty()) {
        if (!readWhole(linger, 0, 3600000, &number))
            complain(own, u"DatabaseLingerMs"_s, u"\""_s + linger + u"\" non è un numero di millisecondi da 0 a 3600000"_s);
        else
            o.databaseLinger = std::chrono::milliseconds(number);
    }
    const QString request = registry.option(u"DatabaseRequestSeconds"_s);
    if (!request.isEmpty()) {
        if (!readWhole(request, 1, 3600, &number))
            complain(own, u"DatabaseRequestSeconds"_s, u"""_s + request + u"" non è un numero di secondi da 1 a 3600"_s);
        else
            o.databaseRequest = std::chrono::seconds(number);
    }

    // Every serial call may wait this long for the device: beyond a few seconds a dead access point
    // looks like a hung server, below a few tens of milliseconds a healthy one looks dead.
    const QString apTimeout = registry.option(u"AccessPointTimeoutMs"_s);
    if (!apTimeout.isEmpty() && !readWhole(apTimeout, 50, 5000, &number))
        complain(own, u"AccessPointTimeoutMs"_s,
                 u"\""_s + apTimeout + u"\" non è un numero di millisecondi da 50 a 5000"_s);

    for (const QString &name : {u"SpoolKeepDays"_s, u"CrashReportKeep"_s}) {
        const QString keep = registry.option(name);
        if (!keep.isEmpty() && !readWhole(keep, 0, 100000, &number))
            complain(own, name, u"\""_s + keep + u"\" non è un numero da 0 a 100000"_s);
    }
    // Kitchen tickets: retry and failover periods.
    for (const QString &name : {u"TicketRetrySeconds"_s, u"FailoverSeconds"_s}) {
        const QString text = registry.option(name);
        if (!text.isEmpty() && !readWhole(text, 0, 86400, &number))
            complain(own, name, u"\""_s + text + u"\" non è un numero di secondi da 0 a 86400"_s);
    }

    const QString listen = registry.option(u"ListenAddress"_s);
    QHostAddress listenAddress;
    QString listenError;
    if (!HandheldServer::parseListenAddress(listen, &listenAddress, &listenError))
        complain(own, u"ListenAddress"_s, listenError);

    const QString metrics = registry.option(u"MetricsAddress"_s);
    QString metricsError;
    if (!metrics.isEmpty() && !MetricsServer::parseAddress(metrics, nullptr, nullptr, &metricsError))
        complain(own, u"MetricsAddress"_s, metricsError);
    else
        o.metricsAddress = metrics;

    QStringList web;
    WebOptions::read(registry, &web);
    for (const QString &w : web)
        complain(own, w.section(u':', 0, 0), w.section(u':', 1).trimmed());
    return o;
}

namespace ConfigCheck {

const QStringList &knownOptions()
{
    static const QStringList names = {
        u"Locale"_s, u"PrinterBackend"_s, u"PrintSpoolDir"_s, u"CupsServer"_s, u"IdleTimeoutSeconds"_s,
        u"AllowedClients"_s, u"DatabaseLingerMs"_s, u"DatabaseRequestSeconds"_s, u"LogLevel"_s,
        u"MetricsAddress"_s,
        u"ListenAddress"_s,
        // The radio access point, the control socket and the crash reports.
        u"AccessPoint"_s, u"AccessPointBaud"_s, u"AccessPointTimeoutMs"_s, u"ControlSocket"_s, u"CrashReportDir"_s,
        u"CrashReportUrl"_s, u"RestartLimit"_s, u"RecoverTicketsMinutes"_s,
        // Housekeeping of the spool folders and crash reports.
        u"SpoolKeepDays"_s, u"CrashReportKeep"_s,
        // Kitchen tickets that did not print: retried, then moved to the zone's backup printer.
        u"TicketRetrySeconds"_s, u"FailoverSeconds"_s,
        // Kitchen screens and the operator console in the browser.
        u"WebAddress"_s, u"WebKey"_s, u"WebCertificate"_s, u"WebPrivateKey"_s, u"ScreenZones"_s,
        u"ScreenWarnMinutes"_s};
    return names;
}

QStringList fileProblems(const Registry &registry)
{
    const QString path = registry.path();
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return {path + u": file di configurazione mancante o illeggibile"_s};
    QStringList problems;
    QSettings raw(path, QSettings::IniFormat);
    if (raw.status() == QSettings::FormatError)
        problems.append(path + u": il file non è nel formato INI"_s);

    const Where where(path);
    raw.beginGroup(Registry::OwnKey);
    for (const QString &name : raw.childKeys()) {
        // Com<N>: the device of serial port N.
        static const QRegularExpression comPort(u"^Com[1-9][0-9]{0,2}$"_s);
        // BackupPrinter_<zone>: the backup printer of a ticket zone, or of the pre-bill printer.
        static const QRegularExpression backup(u"^BackupPrinter_(cassa|cucina|pizzeria|bar|preconto)$"_s);
        if (knownOptions().contains(name) || comPort.match(name).hasMatch() || backup.match(name).hasMatch())
            continue;
        problems.append(where.of(Registry::OwnKey, name) + u": opzione sconosciuta "_s + name);
    }
    raw.endGroup();

    for (const char16_t *type : PrinterTypes) {
        const QString name = u"zona_ristorante_"_s + QString::fromUtf16(type);
        const QString value = tipi::toText(registry.backOffice(name)).trimmed();
        if (value.isEmpty())
            continue;
        const QString setting = value.section(u'|', 1, 1).trimmed();
        qint64 code = 0;
        const bool badSetting = !setting.isEmpty()
            && (!tipi::parseWhole(setting, &code) || (code != 0 && !PaperSize::fromCode(int(code))));
        if (value.section(u'|', 0, 0).trimmed().isEmpty() || badSetting)
            problems.append(where.of(Registry::BackOfficeKey, name) + u": "_s + name + u": \""_s + value
                            + u"\" non è \"stampante|impostazione pagina\""_s);
    }

    ServerOptions::read(registry, &problems);
    return problems;
}

QStringList problems(const Registry &registry)
{
    QStringList all = fileProblems(registry);
    if (!QFileInfo(registry.path()).isFile())
        return all;  // nothing else to say of a file that is not there
    QStringList tolerated;
    ServerOptions::read(registry, nullptr, &tolerated);
    return all + tolerated + resourceProblems(registry);
}

QStringList warnings(const Registry &registry)
{
    QStringList notes;
    // Whoever relied on the machine's locale learns that prices read differently now.
    const QLocale system = QLocale::system();
    const QLocale italian = ServerOptions{}.locale;
    if (registry.option(u"Locale"_s).isEmpty()
        && (system.decimalPoint() != italian.decimalPoint() || system.groupSeparator() != italian.groupSeparator()))
        notes.append(Where(registry.path()).of(Registry::OwnKey, u"Locale"_s)
                     + u": Locale non impostato: i prezzi si leggono all'italiana (\"5,00\"), non con le impostazioni "_s
                       u"del sistema ("_s
                     + system.name() + u')');
    return notes;
}

QStringList resourceProblems(const Registry &registry)
{
    QStringList problems;
    const Where where(registry.path());

    const QString dbPath = tipi::toText(registry.backOffice(u"LastDBPath"_s)).trimmed();
    if (dbPath.isEmpty()) {
        problems.append(where.of(Registry::BackOfficeKey, u"LastDBPath"_s) + u": LastDBPath mancante"_s);
    } else {
        clsDatabase db;
        db.setYieldBeforeStatements(false);
        if (!db.openDB(dbPath))
            problems.append(where.of(Registry::BackOfficeKey, u"LastDBPath"_s) + u": database non raggiungibile: "_s
                            + PgEngine::displayUri(dbPath) + u" ("_s + db.lastErrorText() + u')');
        while (db.isOpened())
            db.closeDB();
    }

    const bool spool = registry.option(u"PrinterBackend"_s, u"spool"_s).compare(u"cups"_s, Qt::CaseInsensitive) != 0;
    const QString spoolDir = registry.option(u"PrintSpoolDir"_s);
    if (spool && !QFileInfo(spoolDir).isDir()) {
        problems.append(where.of(Registry::OwnKey, u"PrintSpoolDir"_s)
                        + (spoolDir.isEmpty() ? u": PrintSpoolDir mancante (stampanti su cartella)"_s
                                              : u": PrintSpoolDir: cartella mancante \""_s + spoolDir + u'"'));
        return problems;
    }
    std::unique_ptr<PrinterBackend> backend = PrinterBackend::create(registry);
    QStringList seen;
    for (const char16_t *type : PrinterTypes) {
        const QString name = u"zona_ristorante_"_s + QString::fromUtf16(type);
        const QString printer = tipi::toText(registry.backOffice(name)).section(u'|', 0, 0).trimmed();
        if (printer.isEmpty() || seen.contains(printer))
            continue;
        seen.append(printer);
        QString error;
        if (!backend->exists(printer, &error))
            problems.append(where.of(Registry::BackOfficeKey, name) + u": "_s + name + u": stampante \""_s + printer
                            + u"\" non disponibile: "_s + error);
    }
    // A backup printer that is not there: its zone keeps retrying on its own printer.
    for (const QString &zone : {u"cassa"_s, u"cucina"_s, u"pizzeria"_s, u"bar"_s, u"preconto"_s}) {
        const QString name = u"BackupPrinter_"_s + zone;
        const QString printer = registry.option(name).trimmed();
        QString error;
        if (!printer.isEmpty() && !backend->exists(printer, &error))
            problems.append(where.of(Registry::OwnKey, name) + u": "_s + name + u": stampante \""_s + printer
                            + u"\" non disponibile: "_s + error);
    }
    return problems;
}

} // namespace ConfigCheck
