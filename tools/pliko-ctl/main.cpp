// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-ctl: drives the running server from a shell through its local control socket. Prints the
// server's answer (what the window would log) and exits 0 when the command succeeded, 1 when it
// failed, 2 when the server cannot be reached, or the status a command gives (tickets: 3 when a
// ticket has waited longer than FailoverSeconds).

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStringList>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {
constexpr int WaitMs = 120000;  // a database transfer answers when it has finished

constexpr const char *Commands =
                 "Commands:\n"
                 "  status                      the server's state\n"
                 "  help                        the commands the server knows\n"
                 "  duvu connect N              connect the access point on port N\n"
                 "  duvu close                  close the access point link\n"
                 "  duvu visible on|off         visible (pairing) mode\n"
                 "  duvu reception on|off       reception of radio orders\n"
                 "  duvu send-db                send the menu database to the access point\n"
                 "The socket defaults to $XDG_RUNTIME_DIR/plikoserver.sock, else the service's\n"
                 "/run/plikoserver/plikoserver.sock (root and the group plikoserver).\n";
constexpr const char *ServiceSocket = "/run/plikoserver/plikoserver.sock";
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIKO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Drives the running plikoserver through its control socket.\n"_s
                                     + QString::fromLatin1(Commands));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption socketOption(u"socket"_s, u"The server's control socket."_s, u"PATH"_s);
    parser.addOption(socketOption);
    parser.addPositionalArgument(u"command"_s, u"The command and its arguments."_s, u"COMMAND..."_s);
    // "duvu connect -1" style arguments belong to the command, not to this program.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    QString path = parser.value(socketOption);
    if (args.isEmpty()) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    if (path.isEmpty()) {
        // The user's own server first, then the system service.
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (!runtime.isEmpty())
            path = QDir(runtime).filePath(u"plikoserver.sock"_s);
        if (path.isEmpty() || !QFileInfo::exists(path))
            path = QString::fromLatin1(ServiceSocket);
    } else {
        // QLocalSocket takes a name without a folder as one in the temporary folder.
        path = QFileInfo(path).absoluteFilePath();
    }

    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(3000)) {
        std::fprintf(stderr, "pliko-ctl: cannot reach the server on %s: %s\n", qPrintable(path),
                     qPrintable(socket.errorString()));
        return 2;
    }
    socket.write(args.join(u' ').toUtf8() + '\n');
    socket.waitForBytesWritten(3000);
    QByteArray answer;
    while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(WaitMs))
        answer += socket.readAll();
    answer += socket.readAll();

    QList<QByteArray> lines = answer.split('\n');
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || !lines.last().startsWith("#END ")) {
        std::fprintf(stderr, "pliko-ctl: the server ended without an answer\n");
        return 2;
    }
    // "#END 0" done, "#END 1" failed; a done command may give its own status (3: needs attention).
    bool numeric = false;
    const int status = lines.takeLast().mid(5).trimmed().toInt(&numeric);
    for (const QByteArray &line : lines)
        std::printf("%s\n", line.constData());
    return numeric && status >= 0 && status < 126 ? status : 1;
}
