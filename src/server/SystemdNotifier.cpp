// SPDX-License-Identifier: GPL-3.0-or-later
#include "SystemdNotifier.h"

#include <QLoggingCategory>
#include <QString>

#ifdef PLIKO_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcSystemd, "pliko.systemd")

namespace {
// A status line is one line: systemd takes the text up to the newline.
QByteArray oneLine(const QString &text)
{
    QString line = text;
    line.replace(u'\n', u' ').replace(u'\r', u' ');
    return line.left(200).toUtf8();
}
} // namespace

SystemdNotifier::SystemdNotifier(QObject *parent) : QObject(parent)
{
    connect(&m_feed, &QTimer::timeout, this, [] { notify("WATCHDOG=1"); });
}

bool SystemdNotifier::underServiceManager()
{
    return qEnvironmentVariableIsSet("NOTIFY_SOCKET");
}

bool SystemdNotifier::notify(const QByteArray &state)
{
#ifdef PLIKO_HAVE_SYSTEMD
    if (!underServiceManager())
        return false;
    const int sent = sd_notify(0, state.constData());
    if (sent < 0)
        qCWarning(lcSystemd).noquote() << "sd_notify non riuscito:" << QString::fromUtf8(state.left(40)) << sent;
    return sent > 0;
#else
    Q_UNUSED(state);
    return false;
#endif
}

void SystemdNotifier::ready(const QString &status)
{
    notify("READY=1\nSTATUS=" + oneLine(status));
}

void SystemdNotifier::status(const QString &text)
{
    notify("STATUS=" + oneLine(text));
}

void SystemdNotifier::reloading()
{
    notify("RELOADING=1\nSTATUS=ricarico la configurazione");
}

void SystemdNotifier::stopping()
{
    m_feed.stop();
    notify("STOPPING=1\nSTATUS=chiusura: attendo le richieste in corso");
}

bool SystemdNotifier::startWatchdog()
{
#ifdef PLIKO_HAVE_SYSTEMD
    uint64_t usec = 0;
    // The variables stay set; WATCHDOG_PID names this process, so a program it starts does not
    // take the watchdog for its own.
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return false;
    m_watchdog = std::chrono::microseconds(usec);
    m_feed.start(std::chrono::duration_cast<std::chrono::milliseconds>(m_watchdog / 2));
    notify("WATCHDOG=1");
    return true;
#else
    return false;
#endif
}
