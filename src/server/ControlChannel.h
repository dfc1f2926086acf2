// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>

class QLocalServer;
class QLocalSocket;

// The running server's local control socket, spoken by pliko-ctl: one command line in, the lines
// of its answer out, then "#END 0" (done) or "#END 1" (failed). Commands are registered by name,
// so each part of the server adds its own; "status" gathers the lines of every status section.
// Only the user running the server may connect: the socket is mode 0600 and the peer is checked.
class ControlChannel : public QObject
{
    Q_OBJECT
public:
    struct Reply
    {
        bool ok = true;
        QStringList lines;
        // A done command's own exit status for pliko-ctl (e.g. 3: something needs attention).
        int status = 0;
    };
    // Arguments after the command word.
    using Handler = std::function<Reply(const QStringList &args)>;

    explicit ControlChannel(QObject *parent = nullptr);
    ~ControlChannel() override;

    // [PlikoServer] ControlSocket, else plikoserver.sock in $RUNTIME_DIRECTORY (the service) or
    // $XDG_RUNTIME_DIR; empty when neither exists.
    static QString defaultPath();

    void registerCommand(const QString &word, const QString &usage, Handler handler);
    void addStatusSection(std::function<QStringList()> section);

    // Listens on path. Refused (false, *error says why) when the path belongs to another user,
    // is not a socket, or another server already answers there.
    bool start(const QString &path, QString *error = nullptr);
    void stop();
    QString path() const { return m_path; }

    // Runs one command line as a client's would run (also what tests call directly). The web
    // console's refreshes are not logged (`logged` false): they come every few seconds.
    Reply run(const QString &line, bool logged = true);

private:
    void onConnection();
    void onReadable(QLocalSocket *socket);

    struct Command
    {
        QString usage;
        Handler handler;
    };
    QLocalServer *m_server = nullptr;
    QString m_path;
    QHash<QString, Command> m_commands;
    QStringList m_order;
    QList<std::function<QStringList()>> m_sections;
};
