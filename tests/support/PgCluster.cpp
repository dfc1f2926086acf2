// SPDX-License-Identifier: GPL-3.0-or-later
#include "PgCluster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <libpq-fe.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString Script = QStringLiteral(PLIKO_SOURCE_DIR "/scripts/pg-cluster.sh");

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

} // namespace

PgCluster::PgCluster() : m_dir(folderTemplate())
{
    // The port only names the socket file inside this cluster's own folder, so two clusters never
    // meet whatever their numbers; it is kept off 5432 so that an address that lost its host
    // cannot reach a server installed on the machine.
    m_port = 50000 + int(::getpid() % 10000);
    if (!m_dir.isValid()) {
        m_unavailable = u"cannot make a temporary folder: "_s + m_dir.errorString();
        return;
    }
    QString why;
    if (!run({u"check"_s}, &why)) {
        m_unavailable = why.trimmed();
        return;
    }
    m_watchdog.setProgram(Script);
    m_watchdog.setArguments({u"watch"_s, m_dir.path()});
    m_watchdog.setStandardOutputFile(QProcess::nullDevice());
    m_watchdog.setStandardErrorFile(QProcess::nullDevice());
    // Its own session: a signal to the test's process group (Ctrl-C, a test runner's timeout) must
    // not take the watchdog with it.
    m_watchdog.setChildProcessModifier([] { ::setsid(); });
    m_watchdog.start();
    if (!m_watchdog.waitForStarted(10000))
        m_unavailable = u"cannot start the cluster's watchdog: "_s + m_watchdog.errorString();
}

PgCluster::~PgCluster()
{
    const bool stopped = !m_running || stop(StopMode::Immediate);
    if (m_watchdog.state() != QProcess::NotRunning) {
        // A server that would not stop is left to the watchdog (the end of its input).
        if (stopped)
            m_watchdog.write("done\n");
        m_watchdog.closeWriteChannel();
        if (!m_watchdog.waitForFinished(30000))
            m_watchdog.kill();
    }
}

QString PgCluster::uri(const QString &database) const
{
    return u"postgresql:///"_s + QString::fromLatin1(QUrl::toPercentEncoding(database)) + u"?host="_s
        + QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path(), "/")) + u"&port="_s + QString::number(m_port)
        + u"&user=postgres"_s;
}

pid_t PgCluster::serverPid() const
{
    QFile f(dataDir() + u"/postmaster.pid"_s);
    if (!m_running || !f.open(QIODevice::ReadOnly))
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

bool PgCluster::run(const QStringList &args, QString *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(Script, args);
    const bool finished = p.waitForFinished(180000);
    if (!finished)
        p.kill();
    *output = QString::fromLocal8Bit(p.readAll());
    if (!finished || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *output = u"pg-cluster.sh "_s + args.join(u' ') + u" failed: "_s + p.errorString() + u' ' + *output;
        return false;
    }
    return true;
}

bool PgCluster::start()
{
    m_error.clear();
    if (!m_unavailable.isEmpty())
        return fail(m_unavailable);
    QString out;
    if (!m_running && !run({u"start"_s, m_dir.path(), QString::number(m_port)}, &out))
        return fail(out);
    m_running = true;
    return true;
}

bool PgCluster::stop(StopMode mode)
{
    m_error.clear();
    QString out;
    if (m_running
        && !run({u"stop"_s, m_dir.path(), mode == StopMode::Fast ? u"fast"_s : u"immediate"_s}, &out))
        return fail(out);
    m_running = false;
    return true;
}

bool PgCluster::createDatabase(const QString &name)
{
    m_error.clear();
    if (!m_running)
        return fail(u"the server is not running"_s);
    // The name as a quoted identifier: a double quote inside it is doubled.
    PGconn *conn = PQconnectdb(uri(u"postgres"_s).toUtf8().constData());
    const QByteArray quoted = '"' + name.toUtf8().replace('"', "\"\"") + '"';
    PGresult *res = PQexec(conn, QByteArray("CREATE DATABASE " + quoted).constData());
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    PQclear(res);
    if (!ok)
        fail(u"CREATE DATABASE "_s + name + u": "_s + QString::fromUtf8(PQerrorMessage(conn)));
    PQfinish(conn);
    return ok;
}
