// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControlChannel.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcControlChannel, "pliko.control")

namespace {
// A command line is short; a client that sends more, or nothing for this long, is dropped.
constexpr qsizetype MaxLine = 1024;
constexpr int ClientTimeoutMs = 10000;

#ifdef Q_OS_UNIX
// The administrators' group: a server whose group it is (the system service) shares its socket with
// the group's members.
constexpr const char *AdminGroup = "plikoserver";

bool runsAsAdminGroup()
{
    const group *g = ::getgrgid(::getegid());
    return g && qstrcmp(g->gr_name, AdminGroup) == 0;
}

bool inGroup(uid_t uid, gid_t primary, gid_t wanted)
{
    if (primary == wanted)
        return true;
    const passwd *pw = ::getpwuid(uid);
    if (!pw)
        return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) < 0) {
        groups.resize(size_t(count));
        if (::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(size_t(count));
    return std::find(groups.begin(), groups.end(), wanted) != groups.end();
}

// The server's own user, root, and (for the service) members of the administrators' group.
bool peerAllowed(const QLocalSocket *socket)
{
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0)
        return false;
    if (cred.uid == ::getuid() || cred.uid == 0)
        return true;
    return runsAsAdminGroup() && inGroup(cred.uid, cred.gid, ::getegid());
}
#endif
} // namespace

ControlChannel::ControlChannel(QObject *parent) : QObject(parent)
{
    registerCommand(u"status"_s, u"status"_s, [this](const QStringList &) {
        Reply r;
        for (const auto &section : m_sections)
            r.lines += section();
        return r;
    });
    registerCommand(u"help"_s, u"help"_s, [this](const QStringList &) {
        Reply r;
        for (const QString &word : m_order)
            r.lines.append(m_commands.value(word).usage);
        return r;
    });
}

ControlChannel::~ControlChannel() { stop(); }

QString ControlChannel::defaultPath()
{
    // systemd's RuntimeDirectory for the service, the session's folder otherwise.
    QString runtime = qEnvironmentVariable("RUNTIME_DIRECTORY").section(u':', 0, 0);
    if (runtime.isEmpty())
        runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    return QDir(runtime).filePath(u"plikoserver.sock"_s);
}

void ControlChannel::registerCommand(const QString &word, const QString &usage, Handler handler)
{
    if (!m_commands.contains(word))
        m_order.append(word);
    m_commands.insert(word, Command{usage, std::move(handler)});
}

void ControlChannel::addStatusSection(std::function<QStringList()> section) { m_sections.append(std::move(section)); }

bool ControlChannel::start(const QString &path, QString *error)
{
    auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        qCWarning(lcControlChannel).noquote() << "canale di controllo non attivo:" << why;
        return false;
    };
    stop();
    if (path.isEmpty())
        return refuse(u"nessun percorso per il socket (ControlSocket o XDG_RUNTIME_DIR)"_s);
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0) {
        if (st.st_uid != ::getuid())
            return refuse(path + u" appartiene a un altro utente"_s);
        if (!S_ISSOCK(st.st_mode))
            return refuse(path + u" esiste e non è un socket"_s);
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(500))
            return refuse(u"un altro server risponde già su "_s + path);
        QLocalServer::removeServer(path);
    }
#endif
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        const QString why = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return refuse(path + u": "_s + why);
    }
#ifdef Q_OS_UNIX
    ::chmod(name.constData(), runsAsAdminGroup() ? 0660 : 0600);
#endif
    m_path = path;
    connect(m_server, &QLocalServer::newConnection, this, &ControlChannel::onConnection);
    qCInfo(lcControlChannel).noquote() << "canale di controllo su" << path;
    return true;
}

void ControlChannel::stop()
{
    if (!m_server)
        return;
    m_server->close();
    delete m_server;
    m_server = nullptr;
    if (!m_path.isEmpty())
        QFile::remove(m_path);
    m_path.clear();
}

void ControlChannel::onConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
#ifdef Q_OS_UNIX
        if (!peerAllowed(socket)) {
            qCWarning(lcControlChannel) << "connessione di un altro utente rifiutata";
            socket->abort();
            continue;
        }
#endif
        // A command that takes longer (a menu transfer) keeps its client: the event loop runs while
        // it waits, and dropping the client would leave the command writing to a closed socket.
        QTimer::singleShot(ClientTimeoutMs, socket, [socket] {
            if (!socket->property("inCorso").toBool())
                socket->abort();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
    }
}

void ControlChannel::onReadable(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > MaxLine)
            socket->abort();
        return;
    }
    const QByteArray raw = socket->readLine(MaxLine + 1);
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    socket->setProperty("inCorso", true);
    const QPointer<QLocalSocket> client(socket);
    const Reply reply = run(QString::fromUtf8(raw).trimmed());
    if (!client)
        return; // the client went away while the command ran
    QByteArray out;
    for (const QString &line : reply.lines)
        out += line.toUtf8() + '\n';
    out += reply.ok ? "#END " + QByteArray::number(reply.status > 1 ? reply.status : 0) + '\n' : QByteArray("#END 1\n");
    socket->write(out);
    socket->disconnectFromServer();
}

ControlChannel::Reply ControlChannel::run(const QString &line, bool logged)
{
    QStringList words = line.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {false, {u"comando vuoto; \"help\" elenca i comandi"_s}};
    const QString word = words.takeFirst();
    const auto it = m_commands.constFind(word);
    if (it == m_commands.cend())
        return {false, {u"comando sconosciuto: "_s + word + u"; \"help\" elenca i comandi"_s}};
    if (logged)
        qCInfo(lcControlChannel).noquote() << "comando:" << line.left(200);
    return it->handler(words);
}
