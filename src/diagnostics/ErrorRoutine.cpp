// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorRoutine.h"

#include "CallTrace.h"
#include "Version.h"

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>
#include <atomic>
#include <deque>
#include <QDir>
#include <QLoggingCategory>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcFault, "pliko.fault")

using namespace Qt::StringLiterals;

namespace diagnostics {

namespace {
// The routine's shared state (last fault, failure times, restart flag, last archive): the network
// and the database thread both report faults. Never held across a window or a callback.
QMutex &stateLock()
{
    static QMutex m;
    return m;
}
FaultHandler &handler()
{
    static FaultHandler h;
    return h;
}
Fault &last()
{
    static Fault f;
    return f;
}
ErrorSetup &setup()
{
    static ErrorSetup s;
    return s;
}
QString &archive()
{
    static QString a;
    return a;
}
std::deque<QDateTime> &requestFailures()
{
    static std::deque<QDateTime> times;
    return times;
}
std::atomic<bool> &restarting()
{
    static std::atomic<bool> r{false};
    return r;
}

constexpr char ScrambleKey = 0x5A;
const QString Scrambled = u"#B64#"_s;

void restartOnce()
{
    // The first fault's restart stands: a second fault while it runs adds no second helper.
    if (restarting().exchange(true))
        return;
    qCCritical(lcFault) << "riavvio del server";
    if (setup().restart)
        setup().restart();
}

QString userName()
{
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}
} // namespace

void reportFault(const QString &label, const QString &text, int line)
{
    qCCritical(lcFault).noquote() << label << "-" << text << "(riga" << line << ")";
    const Fault fault{label, text, line};
    {
        QMutexLocker lock(&stateLock());
        last() = fault;
    }
    if (handler())
        handler()(fault);
}

FaultHandler setFaultHandler(FaultHandler h)
{
    return std::exchange(handler(), std::move(h));
}

Fault lastFault()
{
    QMutexLocker lock(&stateLock());
    return last();
}

void installErrorSetup(ErrorSetup s)
{
    setup() = std::move(s);
    restarting() = false;
    requestFailures().clear();
}

const ErrorSetup &errorSetup()
{
    return setup();
}

QString lastArchive()
{
    QMutexLocker lock(&stateLock());
    return archive();
}

void resetRequestFailures()
{
    requestFailures().clear();
}

QString scramble(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (char &c : bytes)
        c = char(c ^ ScrambleKey);
    return Scrambled + QString::fromLatin1(bytes.toBase64());
}

QString unscramble(const QString &message)
{
    if (!message.startsWith(Scrambled))
        return message;
    QByteArray bytes = QByteArray::fromBase64(message.mid(Scrambled.size()).toLatin1());
    for (char &c : bytes)
        c = char(c ^ ScrambleKey);
    return QString::fromUtf8(bytes);
}

Outcome erroreComune(const QString &messageIn, const QString &module, Where where)
{
    ErrorRecord &r = errorRecord();
    const QString message = unscramble(messageIn);

    if (r.number == ErrHarmless) {
        clearError();
        return Outcome::Cleared;
    }
    if (r.number == ErrDiskOrNetwork) {
        qCCritical(lcFault).noquote() << module << "- 3043" << r.description;
        if (!restarting() && setup().criticalMessage)
            setup().criticalMessage(DiskErrorMessage);
        restartOnce();
        return Outcome::Restarting;
    }

    const QDateTime now = QDateTime::currentDateTime();
    bool restart = where == Where::Outside;
    if (where == Where::Request) {
        // One failing request costs its order, not the service; a stream of them means the server
        // itself is unwell, and a fresh start is the better cure.
        QMutexLocker lock(&stateLock());
        std::deque<QDateTime> &times = requestFailures();
        times.push_back(now);
        while (!times.empty() && times.front().secsTo(now) >= 60)
            times.pop_front();
        restart = qsizetype(times.size()) > setup().requestFailureLimit;
    }

    r.moduleText = moduleTextOf(module, r.line).trimmed();
    r.errorText = errorTextOf(message, r.number, r.description).trimmed();
    r.errorTime = errorTimeOf(now);
    r.versionText = versionText();
    r.operatingSystem = QSysInfo::prettyProductName() + u' ' + QSysInfo::kernelVersion();
    r.user = userName();
    r.machine = QSysInfo::machineHostName();
#ifdef Q_OS_UNIX
    r.administrator = ::geteuid() == 0 ? u"amministratore"_s : u"utente"_s;
#endif
    r.databaseStatus = setup().databaseStatus ? setup().databaseStatus() : QString();
    r.callTrace = traceText();
    r.runningHandlers = runningHandlersText();
    r.registryExtract = setup().registryExtract ? setup().registryExtract() : QString();
    r.comment.clear();
    r.restartPending = restart;
    qCCritical(lcFault).noquote() << r.moduleText << "-" << r.errorText;

    // Without a report folder (a tool or test that installed no setup) the fault is only logged.
    const QString folder = setup().crashFolder;
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        CrashReport report(folder, r, setup().customerId, setup().email);
        if (setup().screenshot)
            setup().screenshot(report.screenshotPath());
        // The window waits for the operator: only where the server is going to restart anyway, never
        // in the way of the requests still being served.
        if (restart && setup().showWindow && !restarting())
            setup().showWindow(report);
        if (!report.written()) {
            report.record().comment = NoComment;
            QString error;
            if (!report.write(&error))
                qCCritical(lcFault).noquote() << "rapporto di errore non scritto:" << error;
        }
        if (report.written()) {
            r.comment = report.record().comment;
            QMutexLocker lock(&stateLock());
            archive() = report.archivePath();
            qCCritical(lcFault).noquote() << "rapporto di errore:" << archive();
        }
    }
    if (restart)
        restartOnce();
    return restart ? Outcome::Restarting : Outcome::Reported;
}

} // namespace diagnostics
