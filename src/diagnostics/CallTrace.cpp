// SPDX-License-Identifier: GPL-3.0-or-later
#include "CallTrace.h"

#include "SignalSafeWrite.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QStringList>
#include <array>
#include <cstring>
#include <map>
#include <string>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcTrace, "pliko.trace")

using namespace Qt::StringLiterals;

namespace diagnostics {

namespace {
struct Entry
{
    const char *module = nullptr;
    const char *procedure = nullptr;
    int line = 0;
    unsigned count = 0;
    qint64 hundredths = 0;
};

// Plain arrays: the fatal-signal handler walks them as they are. One trace per thread (the network
// thread's and the database thread's calls never interleave in one): a report shows the thread that
// failed.
thread_local std::array<Entry, TraceCapacity> g_stack;
thread_local int g_depth = 0;
thread_local std::array<Entry, TraceHistorySize> g_history;
thread_local unsigned g_historyNext = 0;
thread_local bool g_overflowShown = false;

QHash<const char *, unsigned> &callCounts()
{
    thread_local QHash<const char *, unsigned> counts;
    return counts;
}

std::function<void(const QString &)> &overflowNotice()
{
    static std::function<void(const QString &)> notice;
    return notice;
}

qint64 hundredthsSinceStart()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed() / 10;
}

QString entryText(const Entry &e)
{
    return u"%1.%2 riga %3 chiamata %4 t=%5"_s.arg(QString::fromLatin1(e.module), QString::fromLatin1(e.procedure))
        .arg(e.line)
        .arg(e.count)
        .arg(e.hundredths);
}

std::map<std::string, QDateTime> &running()
{
    thread_local std::map<std::string, QDateTime> handlers;
    return handlers;
}

#ifdef Q_OS_UNIX
using sigsafe::put;
using sigsafe::putNumber;

void putEntry(int fd, const Entry &e)
{
    put(fd, e.module);
    put(fd, ".");
    put(fd, e.procedure);
    put(fd, " riga ");
    putNumber(fd, e.line);
    put(fd, " chiamata ");
    putNumber(fd, e.count);
    put(fd, " t=");
    putNumber(fd, e.hundredths);
    put(fd, "\n");
}
#endif
} // namespace

TraceScope::TraceScope(const char *module, const char *procedure, int line)
{
    if (g_depth >= TraceCapacity) {
        // A runaway recursion: told once per episode, not at every further call.
        m_recorded = false;
        if (!g_overflowShown) {
            g_overflowShown = true;
            if (overflowNotice())
                overflowNotice()(TraceOverflowMessage);
            else
                qCCritical(lcTrace).noquote() << TraceOverflowMessage;
        }
        return;
    }
    m_recorded = true;
    const Entry e{module, procedure, line, ++callCounts()[procedure], hundredthsSinceStart()};
    g_stack[size_t(g_depth)] = e;
    g_history[g_historyNext % TraceHistorySize] = e;
    ++g_historyNext;
    ++g_depth;
}

TraceScope::~TraceScope()
{
    if (!m_recorded)
        return;
    --g_depth;
    if (g_depth < TraceCapacity - 1)
        g_overflowShown = false;
}

int traceDepth()
{
    return g_depth;
}

void setTraceOverflowNotice(std::function<void(const QString &)> notice)
{
    overflowNotice() = std::move(notice);
}

QString traceText()
{
    QStringList lines{u"Procedure in corso (la piu' interna per ultima):"_s};
    for (int i = 0; i < g_depth; ++i)
        lines << entryText(g_stack[size_t(i)]);
    lines << QString() << u"Ultime procedure chiamate (la piu' recente per ultima):"_s;
    const unsigned kept = std::min<unsigned>(g_historyNext, TraceHistorySize);
    for (unsigned i = g_historyNext - kept; i < g_historyNext; ++i)
        lines << entryText(g_history[i % TraceHistorySize]);
    return lines.join(u'\n') + u'\n';
}

void writeTraceToFd(int fd)
{
#ifdef Q_OS_UNIX
    put(fd, "Procedure in corso (la piu' interna per ultima):\n");
    const int depth = g_depth;
    for (int i = 0; i < depth && i < TraceCapacity; ++i)
        putEntry(fd, g_stack[size_t(i)]);
    put(fd, "\nUltime procedure chiamate (la piu' recente per ultima):\n");
    const unsigned next = g_historyNext;
    const unsigned kept = next < TraceHistorySize ? next : TraceHistorySize;
    for (unsigned i = next - kept; i < next; ++i)
        putEntry(fd, g_history[i % TraceHistorySize]);
#else
    Q_UNUSED(fd);
#endif
}

ClickGuard::ClickGuard(const char *key) : m_key(key)
{
    auto [it, inserted] = running().try_emplace(std::string(key), QDateTime::currentDateTime());
    m_entered = inserted;
}

ClickGuard::~ClickGuard()
{
    if (m_entered)
        running().erase(std::string(m_key));
}

bool enterHandler(const QString &key)
{
    return running().try_emplace(key.toStdString(), QDateTime::currentDateTime()).second;
}

void leaveHandler(const QString &key) { running().erase(key.toStdString()); }

QString runningHandlersText()
{
    QString text;
    for (const auto &[key, since] : running())
        text += QString::fromStdString(key) + u':' + since.toString(u"dd/MM/yyyy HH:mm:ss"_s) + u'\n';
    return text;
}

} // namespace diagnostics
