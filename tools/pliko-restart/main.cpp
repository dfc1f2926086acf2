// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-restart: starts the server again after it ended for an internal fault. Its one argument is
// the Base64 of "waitpid <pid> execnowaithidden <program> <arguments>": it waits for that process
// to end (a process that asked for its restart and hangs is killed after a minute), then starts
// the program detached and exits. A server restarted PLIKO_RESTART_LIMIT times (default 5) within
// two minutes is not started again: a fault at every start would otherwise loop for ever.

#include "../ToolHelp.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStringList>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr int RestartWindowSeconds = 120;
constexpr int DefaultLimit = 5;

void say(const QString &text)
{
    std::fprintf(stderr, "pliko-restart: %s\n", text.toLocal8Bit().constData());
}

// A process that ended but was not collected yet by its parent counts as ended.
bool running(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return false;
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        if (close > 0 && close + 2 < line.size() && (line.at(close + 2) == 'Z' || line.at(close + 2) == 'X'))
            return false;
    }
    return true;
}

void waitForEnd(pid_t pid)
{
    constexpr int PollMs = 20;
    for (int waited = 0; running(pid); waited += PollMs) {
        if (waited == 60000) {
            say(u"il processo %1 non termina: viene chiuso"_s.arg(pid));
            ::kill(pid, SIGKILL);
        }
        if (waited > 65000)
            return;
        QThread::msleep(PollMs);
    }
}

// Counts this restart; false when the limit of the last two minutes is reached.
bool admitRestart(QString *why)
{
    QString path = qEnvironmentVariable("PLIKO_RESTART_HISTORY");
    if (path.isEmpty())
        path = QCoreApplication::applicationDirPath() + u"/pliko-restart.history"_s;
    bool ok = false;
    int limit = qEnvironmentVariable("PLIKO_RESTART_LIMIT").toInt(&ok);
    if (!ok || limit < 0)
        limit = DefaultLimit;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QList<qint64> recent;
    QFile in(path);
    if (in.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : in.readAll().split('\n')) {
            bool number = false;
            const qint64 t = line.trimmed().toLongLong(&number);
            if (number && t <= now && now - t < RestartWindowSeconds)
                recent << t;
        }
        in.close();
    }
    if (recent.size() >= limit) {
        *why = u"%1 riavvii negli ultimi %2 secondi: il server non viene riavviato (vedere i rapporti di errore)"_s
                   .arg(recent.size())
                   .arg(RestartWindowSeconds);
        // Said beside the history too: the server's standard error may have no reader any more.
        QFile note(path + u".stop"_s);
        if (note.open(QIODevice::Append))
            note.write(QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + ' ' + why->toUtf8() + '\n');
        return false;
    }
    recent << now;
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly)) {
        for (const qint64 t : recent)
            out.write(QByteArray::number(t) + '\n');
        out.commit();
    }
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    // Out of the server's session and process group: whatever stops the server leaves us running.
    ::setsid();
    // The server we start must get signals as a fresh process does, whatever state we were started in.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIKO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Riavvia plikoserver dopo un errore interno: attende la fine del server, poi lo avvia staccato. "
        "È il server stesso ad avviare questo programma."_s);
    const QCommandLineOption helpOption = tools::addItalianHelp(app, parser);
    parser.addPositionalArgument(
        u"argomento"_s, u"Base64 di \"waitpid <pid> execnowaithidden <programma> <argomenti>\"."_s);
    parser.process(app);
    tools::showHelpIfAsked(parser, helpOption);
    if (parser.positionalArguments().size() != 1) {
        say(u"uso: pliko-restart <testo Base64>"_s);
        return 2;
    }
    const QString text = QString::fromUtf8(QByteArray::fromBase64(parser.positionalArguments().first().toLatin1()));
    static const QString Wait = u"waitpid "_s;
    static const QString Exec = u" execnowaithidden "_s;
    const qsizetype exec = text.indexOf(Exec);
    bool ok = false;
    const qint64 pid = exec > 0 && text.startsWith(Wait) ? text.mid(Wait.size(), exec - Wait.size()).toLongLong(&ok)
                                                         : 0;
    const QStringList command = exec > 0 ? QProcess::splitCommand(text.mid(exec + Exec.size())) : QStringList();
    if (!ok || pid <= 0 || command.isEmpty()) {
        say(u"argomento non valido: "_s + text.left(200));
        return 2;
    }

    waitForEnd(pid_t(pid));
    QString why;
    if (!admitRestart(&why)) {
        say(why);
        return 3;
    }
    qint64 started = 0;
    if (!QProcess::startDetached(command.first(), command.mid(1), QString(), &started)) {
        say(u"avvio di %1 non riuscito"_s.arg(command.first()));
        return 1;
    }
    say(u"%1 riavviato (processo %2)"_s.arg(QFileInfo(command.first()).fileName()).arg(started));
    return 0;
}
