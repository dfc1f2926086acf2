// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

class OperatorUi;

// Shows the server's own log lines that an operator at the window needs in "Eventi", not only on
// standard error where a desktop user never looks: the start-up, reload and shutdown lines
// (categories pliko.log and pliko.start), and every warning until the start is over. Later warnings
// of the service already reach "Eventi" in the operator's words. Installed for the life of the
// object; any thread may log.
class LogEvents
{
public:
    explicit LogEvents(OperatorUi &ui);
    ~LogEvents();
    // The start is over: from now on only pliko.log and pliko.start lines are shown.
    void avviato();
    LogEvents(const LogEvents &) = delete;
    LogEvents &operator=(const LogEvents &) = delete;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
};
