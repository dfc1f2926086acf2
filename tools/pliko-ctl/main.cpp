// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-ctl: drives the running server from a shell through its local control socket. Prints the
// server's answer (what the window would log) and exits 0 when the command succeeded, 1 when it
// failed, 2 when the server cannot be reached, or the status a command gives (tickets: 3 when a
// ticket has waited longer than FailoverSeconds).

#include "../ToolHelp.h"

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

constexpr const char *Commands
    = "Comandi:\n"
      "  status                      lo stato del server\n"
      "  help                        i comandi che il server conosce\n"
      "  duvu connect N              collega l'access point sulla porta N\n"
      "  duvu close                  chiude il collegamento con l'access point\n"
      "  duvu visible on|off         modalità visibile (abbinamento)\n"
      "  duvu reception on|off       ricezione delle comande radio\n"
      "  duvu send-db                invia il database del menu all'access point\n"
      "Il socket predefinito è $XDG_RUNTIME_DIR/plikoserver.sock, altrimenti quello del servizio\n"
      "/run/plikoserver/plikoserver.sock (root e il gruppo plikoserver).\n";
constexpr const char *ServiceSocket = "/run/plikoserver/plikoserver.sock";
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIKO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Comanda il plikoserver in esecuzione attraverso il suo socket di controllo.\n"_s
        + QString::fromUtf8(Commands));
    const QCommandLineOption helpOption = tools::addItalianHelp(app, parser);
    const QCommandLineOption socketOption(u"socket"_s, u"Il socket di controllo del server."_s, u"PERCORSO"_s);
    parser.addOption(socketOption);
    parser.addPositionalArgument(u"command"_s, u"Il comando e i suoi argomenti."_s, u"COMANDO..."_s);
    // "duvu connect -1" style arguments belong to the command, not to this program.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.process(app);
    tools::showHelpIfAsked(parser, helpOption);
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
        std::fprintf(stderr, "pliko-ctl: server non raggiungibile su %s: %s\n", qPrintable(path),
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
        std::fprintf(stderr, "pliko-ctl: il server ha chiuso senza rispondere\n");
        return 2;
    }
    // "#END 0" done, "#END 1" failed; a done command may give its own status (3: needs attention).
    bool numeric = false;
    const int status = lines.takeLast().mid(5).trimmed().toInt(&numeric);
    for (const QByteArray &line : lines)
        std::printf("%s\n", line.constData());
    return numeric && status >= 0 && status < 126 ? status : 1;
}
