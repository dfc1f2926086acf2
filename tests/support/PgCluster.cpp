// SPDX-License-Identifier: GPL-3.0-or-later
#include "PgCluster.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QVersionNumber>
#include <algorithm>
#include <libpq-fe.h>
#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int CommandBoundMs = 120000;
constexpr int ServerWaitSeconds = 60;

// Whether every folder on the way to path can be crossed by any user (the server runs as
// "nobody" when the tests run as root).
bool openToAll(const QString &path)
{
    for (QString p = QFileInfo(path).absoluteFilePath(); !p.isEmpty() && p != u"/"_s; p = QFileInfo(p).path()) {
        struct stat st {};
        if (::stat(QFile::encodeName(p).constData(), &st) != 0 || !(st.st_mode & S_IXOTH))
            return false;
    }
    return true;
}

// The cluster's folder: its socket's path must stay within the 107 bytes of a Unix socket address.
QString folderTemplate()
{
    QString base = QDir::tempPath();
    if (base.size() > 60 || (::geteuid() == 0 && !openToAll(base)))
        base = u"/tmp"_s;
    return base + u"/pliko-pg-XXXXXX"_s;
}

bool hasTools(const QString &dir)
{
    return !dir.isEmpty() && QFileInfo(dir + u"/initdb"_s).isExecutable()
        && QFileInfo(dir + u"/pg_ctl"_s).isExecutable();
}

// initdb and pg_ctl from one installation: the PATH, then pg_config's, then the newest Debian one.
QString findBinDir()
{
    const QString initdb = QStandardPaths::findExecutable(u"initdb"_s);
    if (!initdb.isEmpty() && hasTools(QFileInfo(initdb).absolutePath()))
        return QFileInfo(initdb).absolutePath();
    const QString pgConfig = QStandardPaths::findExecutable(u"pg_config"_s);
    if (!pgConfig.isEmpty()) {
        QProcess p;
        p.start(pgConfig, {u"--bindir"_s});
        if (p.waitForFinished(10000) && p.exitCode() == 0) {
            const QString dir = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
            if (hasTools(dir))
                return dir;
        }
    }
    QStringList versions = QDir(u"/usr/lib/postgresql"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) {
        return QVersionNumber::fromString(a) > QVersionNumber::fromString(b);
    });
    for (const QString &v : versions)
        if (hasTools(u"/usr/lib/postgresql/"_s + v + u"/bin"_s))
            return u"/usr/lib/postgresql/"_s + v + u"/bin"_s;
    return {};
}

// Run when the test process is gone (its end of the pipe closes without "done"): stops the server
// as a crash would, waits for it to go, and removes the cluster.
constexpr auto WatchdogScript = R"(read -r word
[ "$word" = done ] && exit 0
pidfile="$1/postmaster.pid"
if [ -f "$pidfile" ]; then
  pid=$(head -n 1 "$pidfile")
  if [ -n "$pid" ] && tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$1"; then
    kill -QUIT "$pid" 2>/dev/null
    i=0
    while [ $i -lt 100 ] && [ -d "/proc/$pid" ] && ! grep -q '^State:.*Z' "/proc/$pid/status" 2>/dev/null; do
      sleep 0.1
      i=$((i + 1))
    done
    kill -KILL "$pid" 2>/dev/null
  fi
fi
rm -rf "$2"
)";

// Gone, or a zombie nobody reaps (a container's first process may not).
bool processGone(pid_t pid)
{
    if (pid <= 0 || ::kill(pid, 0) != 0)
        return true;
    QFile status(u"/proc/"_s + QString::number(pid) + u"/status"_s);
    return status.open(QIODevice::ReadOnly) && status.readAll().contains("State:\tZ");
}

} // namespace

PgCluster::PgCluster() : m_dir(folderTemplate())
{
    // The port only names the socket file inside this cluster's own folder, so two clusters never
    // meet whatever their numbers; it is kept off 5432 so that an address that lost its host
    // cannot reach a server installed on the machine.
    m_port = 50000 + int(::getpid() % 10000);
    m_binDir = findBinDir();
    if (m_binDir.isEmpty()) {
        m_unavailable = u"PostgreSQL server programs (initdb, pg_ctl) not found in PATH, pg_config --bindir or"
                        " /usr/lib/postgresql/*/bin"_s;
        return;
    }
    if (!m_dir.isValid()) {
        m_unavailable = u"cannot make a temporary folder: "_s + m_dir.errorString();
        return;
    }
    // PostgreSQL refuses to run as root: then it runs as "nobody", in a folder that user owns.
    if (::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody) {
            m_unavailable = u"running as root and there is no user \"nobody\" to run PostgreSQL as"_s;
            return;
        }
        if (QStandardPaths::findExecutable(u"setpriv"_s).isEmpty()) {
            m_unavailable = u"running as root and setpriv (util-linux) is missing to run PostgreSQL as nobody"_s;
            return;
        }
        m_asOther = true;
        m_runUid = nobody->pw_uid;
        m_runGid = nobody->pw_gid;
        const QByteArray dir = QFile::encodeName(m_dir.path());
        if (::chown(dir.constData(), m_runUid, m_runGid) != 0 || ::chmod(dir.constData(), 0755) != 0) {
            m_unavailable = u"cannot hand the folder "_s + m_dir.path() + u" to nobody"_s;
            return;
        }
    }
    startWatchdog();
}

PgCluster::~PgCluster()
{
    bool stopped = !m_running;
    if (m_running)
        stopped = stop(StopMode::Immediate);
    if (m_watchdog.state() != QProcess::NotRunning) {
        // A server that would not stop is left to the watchdog (the end of its input).
        if (stopped)
            m_watchdog.write("done\n");
        m_watchdog.closeWriteChannel();
        if (!m_watchdog.waitForFinished(30000))
            m_watchdog.kill();
    }
}

void PgCluster::startWatchdog()
{
    m_watchdog.setProgram(u"/bin/sh"_s);
    m_watchdog.setArguments({u"-c"_s, QString::fromUtf8(WatchdogScript), u"pliko-pg-watchdog"_s, dataDir(),
                             m_dir.path()});
    m_watchdog.setStandardOutputFile(QProcess::nullDevice());
    m_watchdog.setStandardErrorFile(QProcess::nullDevice());
    // Its own session: a signal to the test's process group (Ctrl-C, a test runner's timeout) must
    // not take the watchdog with it.
    m_watchdog.setChildProcessModifier([] { ::setsid(); });
    m_watchdog.start();
    if (!m_watchdog.waitForStarted(10000))
        m_unavailable = u"cannot start the cluster's watchdog (/bin/sh): "_s + m_watchdog.errorString();
}

QString PgCluster::dataDir() const
{
    return m_dir.filePath(u"data"_s);
}

QString PgCluster::uri(const QString &database) const
{
    return u"postgresql:///"_s + QString::fromLatin1(QUrl::toPercentEncoding(database)) + u"?host="_s
        + QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path(), "/")) + u"&port="_s + QString::number(m_port)
        + u"&user=postgres"_s;
}

pid_t PgCluster::serverPid() const
{
    if (!m_running)
        return 0;
    QFile f(dataDir() + u"/postmaster.pid"_s);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return pid_t(f.readLine().trimmed().toLong());
}

QString PgCluster::logTail(int lines) const
{
    QFile f(m_dir.filePath(u"server.log"_s));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QStringList all = QString::fromLocal8Bit(f.readAll()).split(u'\n');
    return all.mid(std::max<qsizetype>(0, all.size() - lines - 1)).join(u'\n');
}

bool PgCluster::fail(const QString &what)
{
    m_error = what;
    const QString tail = logTail();
    if (!tail.trimmed().isEmpty())
        m_error += u"\nserver log:\n"_s + tail;
    return false;
}

bool PgCluster::run(const QString &program, const QStringList &args, int boundMs, QString *output)
{
    QProcess p;
    QStringList all = args;
    QString exe = m_binDir + u'/' + program;
    if (m_asOther) {
        all = QStringList{u"--reuid="_s + QString::number(m_runUid), u"--regid="_s + QString::number(m_runGid),
                          u"--clear-groups"_s, u"--"_s, exe}
            + args;
        exe = QStandardPaths::findExecutable(u"setpriv"_s);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The caller's PostgreSQL settings must not steer the private cluster.
    for (const QString &name : env.keys())
        if (name.startsWith(u"PG"_s))
            env.remove(name);
    env.insert(u"LC_ALL"_s, u"C"_s);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(exe, all);
    if (!p.waitForStarted(10000)) {
        *output = program + u" does not start: "_s + p.errorString();
        return false;
    }
    if (!p.waitForFinished(boundMs)) {
        p.kill();
        p.waitForFinished(5000);
        *output = program + u" did not finish within "_s + QString::number(boundMs / 1000) + u" s: "_s
            + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    *output = QString::fromLocal8Bit(p.readAll());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *output = program + u" failed (exit "_s + QString::number(p.exitCode()) + u"): "_s + *output;
        return false;
    }
    return true;
}

bool PgCluster::makeCluster()
{
    QString out;
    if (!run(u"initdb"_s,
             {u"-D"_s, dataDir(), u"-U"_s, u"postgres"_s, u"-A"_s, u"trust"_s, u"-E"_s, u"UTF8"_s, u"--locale=C"_s,
              u"--no-sync"_s},
             CommandBoundMs, &out))
        return fail(out);
    QFile conf(dataDir() + u"/postgresql.conf"_s);
    if (!conf.open(QIODevice::Append | QIODevice::Text))
        return fail(u"cannot add to "_s + conf.fileName());
    // fsync off: the cluster is thrown away with the test, and only a machine crash could lose what
    // a server stop or crash leaves in the page cache; on a busy build machine each commit's flush
    // would otherwise cost the tests more than anything they check.
    conf.write(QString(u"\nlisten_addresses = ''\nunix_socket_directories = '"_s + m_dir.path() + u"'\nport = "_s
                       + QString::number(m_port)
                       + u"\nfsync = off\nshared_buffers = 16MB\nmax_connections = 100\n"_s)
                   .toUtf8());
    m_made = true;
    return true;
}

bool PgCluster::start()
{
    m_error.clear();
    if (!m_unavailable.isEmpty())
        return fail(m_unavailable);
    if (m_running)
        return true;
    if (!m_made && !makeCluster())
        return false;
    QString out;
    if (!run(u"pg_ctl"_s,
             {u"start"_s, u"-w"_s, u"-t"_s, QString::number(ServerWaitSeconds), u"-D"_s, dataDir(), u"-l"_s,
              m_dir.filePath(u"server.log"_s)},
             CommandBoundMs, &out))
        return fail(out);
    m_running = true;
    // pg_ctl has seen the server ready; a connection proves the socket is where the address says.
    const QByteArray address = uri(u"postgres"_s).toUtf8();
    QElapsedTimer t;
    t.start();
    while (PQping(address.constData()) != PQPING_OK) {
        if (t.elapsed() > ServerWaitSeconds * 1000)
            return fail(u"the server does not accept connections at "_s + uri(u"postgres"_s));
        QThread::msleep(50);
    }
    return true;
}

bool PgCluster::stop(StopMode mode)
{
    m_error.clear();
    if (!m_running)
        return true;
    const pid_t server = serverPid();
    QString out;
    const bool ok = run(u"pg_ctl"_s,
                        {u"stop"_s, u"-w"_s, u"-t"_s, QString::number(ServerWaitSeconds), u"-D"_s, dataDir(), u"-m"_s,
                         mode == StopMode::Fast ? u"fast"_s : u"immediate"_s},
                        CommandBoundMs, &out);
    if (!ok)
        return fail(out);
    m_running = false;
    // pg_ctl returns once the server has removed its pid file, a moment before the process ends.
    QElapsedTimer t;
    t.start();
    while (!processGone(server)) {
        if (t.elapsed() > ServerWaitSeconds * 1000)
            return fail(u"the server (process "_s + QString::number(server) + u") is still there after its stop"_s);
        QThread::msleep(10);
    }
    return true;
}

bool PgCluster::createDatabase(const QString &name)
{
    m_error.clear();
    if (!m_running)
        return fail(u"the server is not running"_s);
    PGconn *conn = PQconnectdb(uri(u"postgres"_s).toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK) {
        fail(u"cannot connect: "_s + QString::fromUtf8(PQerrorMessage(conn)));
        PQfinish(conn);
        return false;
    }
    const QByteArray utf8 = name.toUtf8();
    char *quoted = PQescapeIdentifier(conn, utf8.constData(), size_t(utf8.size()));
    bool ok = quoted != nullptr;
    if (quoted) {
        PGresult *res = PQexec(conn, QByteArray(QByteArray("CREATE DATABASE ") + quoted).constData());
        ok = PQresultStatus(res) == PGRES_COMMAND_OK;
        PQclear(res);
        PQfreemem(quoted);
    }
    if (!ok)
        fail(u"CREATE DATABASE "_s + name + u": "_s + QString::fromUtf8(PQerrorMessage(conn)));
    PQfinish(conn);
    return ok;
}
