// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How log lines look and which ones are written, for the console, a terminal and the journal.
namespace logsetup {

// Standard error is connected to the journal (JOURNAL_STREAM names its device and inode): lines
// then carry syslog priority prefixes ("<6>") and no time of their own, the journal keeps both.
bool underJournal();

// The message pattern for standard error: with its date and time on a terminal or in a file,
// with priority prefixes under the journal.
QString messagePattern(bool journal);

// [PlikoServer] LogLevel: debug, info (default) or warning. False for any other text (nothing
// changed then).
bool isLogLevel(const QString &level);
void applyLogLevel(const QString &level);

} // namespace logsetup
