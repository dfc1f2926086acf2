// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

// The call trace and the re-entry guards of click handlers. Every handler (request, timer tick,
// click) and the main procedures under it hold a TraceScope, so a crash report says where the
// server was; click handlers also hold a ClickGuard, so a second click while the first still runs
// (it may be waiting on a question or a printer) does nothing.
namespace diagnostics {

inline constexpr int TraceCapacity = 999;
inline constexpr int TraceHistorySize = 40;
inline const QString TraceOverflowMessage = QStringLiteral("Stack overflow in trace module");

// One procedure on the call-trace stack. Names are string literals: the fatal-signal handler reads
// them without allocating.
class TraceScope
{
public:
    TraceScope(const char *module, const char *procedure, int line = 0);
    ~TraceScope();
    TraceScope(const TraceScope &) = delete;
    TraceScope &operator=(const TraceScope &) = delete;

private:
    bool m_recorded;
};

// The stack (innermost last) and the history of the most recent entries, as crash-report text.
QString traceText();
int traceDepth();
// Who is told of a trace overflow (the operator; by default the log).
void setTraceOverflowNotice(std::function<void(const QString &)> notice);
// Writes the stack and history to a file descriptor; async-signal-safe.
void writeTraceToFd(int fd);

// The process-wide set of running click handlers, each with its entry time.
class ClickGuard
{
public:
    explicit ClickGuard(const char *key);
    ~ClickGuard();
    ClickGuard(const ClickGuard &) = delete;
    ClickGuard &operator=(const ClickGuard &) = delete;
    // False when the same handler was already running: the caller returns at once.
    bool entered() const { return m_entered; }

private:
    const char *m_key;
    bool m_entered;
};

// The same guard for handlers whose keys are built at run time (the radio window's buttons):
// false when the key is already running; leaveHandler ends what enterHandler began.
bool enterHandler(const QString &key);
void leaveHandler(const QString &key);

// One line per running click handler: its key, ":" and its entry time "dd/mm/yyyy hh:mm:ss".
QString runningHandlersText();

} // namespace diagnostics

// The usual opening of a procedure: PLIKO_TRACE("frmMain", "attivaNano");
#define PLIKO_TRACE_CAT2(a, b) a##b
#define PLIKO_TRACE_CAT(a, b) PLIKO_TRACE_CAT2(a, b)
#define PLIKO_TRACE(module, procedure) \
    const ::diagnostics::TraceScope PLIKO_TRACE_CAT(plikoTrace_, __LINE__)(module, procedure, __LINE__)
