// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The last word of a server that crashes (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, and so
// std::terminate): a minimal report "tmp-T.sig" (signal and backtrace) and "tmp-T.stk" (the call
// trace) in the crash folder, then the restart helper, then the default end. Everything the handler
// needs is prepared here, because a signal handler may not allocate or take locks. The next start
// packs the loose files into their archive.
namespace diagnostics {

struct FatalSignalSetup
{
    QString crashFolder;
    QString helperPath;      // empty: no restart from here (a service manager restarts the server)
    QString helperArgument;  // the encoded argument text
};

void installFatalSignalHandlers(const FatalSignalSetup &setup);

// "dd.mm.yyyy-hh.mm.ss" of a Unix time in the local time zone, without the C library's locks (the
// offset from UTC is the one when the handlers were installed). out holds at least 20 bytes.
void formatCrashTime(long long unixTime, int utcOffsetSeconds, char *out);

} // namespace diagnostics
