// SPDX-License-Identifier: GPL-3.0-or-later
#include "FatalSignals.h"

#include "CallTrace.h"
#include "SignalSafeWrite.h"
#include "Version.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace diagnostics {

void formatCrashTime(long long t, int offset, char *out)
{
    long long local = t + offset;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // Civil date from a day count (Howard Hinnant's algorithm).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long year = yoe + era * 400;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2)
        ++year;
    const long long parts[6] = {day, month, year, secs / 3600, secs / 60 % 60, secs % 60};
    const char separators[6] = {'.', '.', '-', '.', '.', '\0'};
    char *p = out;
    for (int i = 0; i < 6; ++i) {
        const int width = i == 2 ? 4 : 2;
        long long v = parts[i];
        for (int d = width - 1; d >= 0; --d) {
            p[d] = char('0' + v % 10);
            v /= 10;
        }
        p += width;
        *p++ = separators[i];
    }
}

#ifdef Q_OS_UNIX
namespace {
char g_folder[4096];
char g_helper[4096];
char g_argument[16384];
char g_version[64];
char *g_argv[3];
bool g_restart = false;
int g_utcOffset = 0;
volatile sig_atomic_t g_inHandler = 0;
constexpr int FatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

bool copyInto(char *target, size_t size, const QByteArray &text)
{
    if (size_t(text.size()) >= size)
        return false;
    std::memcpy(target, text.constData(), size_t(text.size()));
    target[text.size()] = '\0';
    return true;
}

using sigsafe::put;
using sigsafe::putNumber;

const char *signalName(int number)
{
    switch (number) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "?";
    }
}

int openReport(const char *stem, const char *suffix)
{
    char path[4096 + 64];
    size_t n = 0;
    for (const char *part : {static_cast<const char *>(g_folder), "/tmp-", stem, suffix}) {
        const size_t len = std::strlen(part);
        if (n + len >= sizeof path)
            return -1;
        std::memcpy(path + n, part, len);
        n += len;
    }
    path[n] = '\0';
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

extern "C" void onFatalSignal(int number)
{
    if (g_inHandler) {
        // A fault inside the handler: end at once.
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    g_inHandler = 1;

    char stem[24] = {};
    formatCrashTime(static_cast<long long>(::time(nullptr)), g_utcOffset, stem);
    const int fd = openReport(stem, ".sig");
    for (const int out : {fd, 2}) {
        if (out < 0)
            continue;
        put(out, "plikoserver ");
        put(out, g_version);
        put(out, ": segnale ");
        putNumber(out, number);
        put(out, " (");
        put(out, signalName(number));
        put(out, "), processo ");
        putNumber(out, ::getpid());
        put(out, "\n");
    }
    if (fd >= 0) {
        void *frames[64];
        const int n = ::backtrace(frames, 64);
        ::backtrace_symbols_fd(frames, n, fd);
        ::close(fd);
    }
    const int stk = openReport(stem, ".stk");
    if (stk >= 0) {
        writeTraceToFd(stk);
        ::close(stk);
    }

    if (g_restart) {
        const pid_t child = ::fork();
        if (child == 0) {
            // The helper must not hold this server's sockets (the listening port above all), nor
            // inherit this handler's blocked signal, which would pass on to the restarted server.
            for (int f = 3; f < 1024; ++f)
                ::close(f);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execv(g_helper, g_argv);
            ::_exit(127);
        }
        put(2, child > 0 ? "plikoserver: riavvio affidato a pliko-restart\n"
                         : "plikoserver: pliko-restart non avviato\n");
    }
    // The default action ends the process as the signal says (and leaves a core where enabled).
    ::signal(number, SIG_DFL);
    ::raise(number);
}
} // namespace
#endif

void installFatalSignalHandlers(const FatalSignalSetup &setup)
{
#ifdef Q_OS_UNIX
    QDir().mkpath(setup.crashFolder);
    copyInto(g_folder, sizeof g_folder, QFile::encodeName(setup.crashFolder));
    copyInto(g_version, sizeof g_version, versionText().toUtf8());
    g_restart = !setup.helperPath.isEmpty() && copyInto(g_helper, sizeof g_helper, QFile::encodeName(setup.helperPath))
                && copyInto(g_argument, sizeof g_argument, setup.helperArgument.toLatin1());
    g_argv[0] = g_helper;
    g_argv[1] = g_argument;
    g_argv[2] = nullptr;
    g_utcOffset = QDateTime::currentDateTime().offsetFromUtc();
    // backtrace() loads its unwinder on first use: done now, not inside the handler.
    void *frames[2];
    ::backtrace(frames, 2);

    // A fatal signal blocked by whoever started us would never reach the handler.
    sigset_t fatal;
    sigemptyset(&fatal);
    for (const int s : FatalSignals)
        sigaddset(&fatal, s);
    ::sigprocmask(SIG_UNBLOCK, &fatal, nullptr);

    struct sigaction action = {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK;
    for (const int s : FatalSignals)
        ::sigaction(s, &action, nullptr);
    // A stack of its own, so a stack overflow can still be reported.
    static char alternate[64 * 1024];
    stack_t ss = {};
    ss.ss_sp = alternate;
    ss.ss_size = sizeof alternate;
    ::sigaltstack(&ss, nullptr);
#else
    Q_UNUSED(setup);
#endif
}

} // namespace diagnostics
