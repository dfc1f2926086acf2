// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-ctl: drives the running server from a shell through its local control socket. Prints the
// server's answer (what the window would log) and exits 0 when the command succeeded, 1 when it
// failed, 2 when the server cannot be reached.

#include <QCoreApplication>
#include <QDir>
#include <QLocalSocket>
#include <QStringList>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {
constexpr int WaitMs = 120000;  // a database transfer answers when it has finished

void usage()
{
    std::fprintf(stderr,
                 "usage: pliko-ctl [--socket PATH] COMMAND...\n"
                 "  status                      the server's state\n"
                 "  help                        the commands the server knows\n"
                 "  duvu connect N              connect the access point on port N\n"
                 "  duvu close                  close the access point link\n"
                 "  duvu visible on|off         visible (pairing) mode\n"
                 "  duvu reception on|off       reception of radio orders\n"
                 "  duvu send-db                send the menu database to the access point\n"
                 "The socket defaults to $XDG_RUNTIME_DIR/plikoserver.sock.\n");
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString path;
    if (args.size() >= 2 && args.first() == u"--socket"_s) {
        path = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty() || args.first() == u"--help"_s || args.first() == u"-h"_s) {
        usage();
        return args.isEmpty() ? 2 : 0;
    }
    if (path.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty()) {
            std::fprintf(stderr, "pliko-ctl: XDG_RUNTIME_DIR is not set; give --socket PATH\n");
            return 2;
        }
        path = QDir(runtime).filePath(u"plikoserver.sock"_s);
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
    const bool ok = lines.takeLast() == "#END 0";
    for (const QByteArray &line : lines)
        std::printf("%s\n", line.constData());
    return ok ? 0 : 1;
}
