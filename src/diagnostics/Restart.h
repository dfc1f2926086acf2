// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The restart through the separate helper "pliko-restart": the server hands it the Base64 of
// "waitpid <pid> execnowaithidden <program> <arguments>", the helper waits for this process to end
// and starts the program again. Under a service manager the unit restarts the server instead.
namespace diagnostics {

// Exit status of a server that ended for an internal fault and wants to be started again
// (systemd's Restart=on-failure does so).
inline constexpr int ExitRestartWanted = 3;
inline const QString NoErrorsArgument = QStringLiteral("/noerrors");
inline const QString HelperName = QStringLiteral("pliko-restart");

// The argument text; the program and arguments are quoted where they hold blanks or quotes, as
// QProcess::splitCommand reads them back. "/noerrors" ends the arguments, once.
QString restartArgumentText(qint64 pid, const QString &program, const QStringList &arguments);
QByteArray encodeRestartArgument(const QString &text);
// Joins a program and its arguments as QProcess::splitCommand reads them back.
QString joinCommand(const QStringList &words);

// True when systemd runs the server (INVOCATION_ID or NOTIFY_SOCKET set): a helper started from the
// service would be stopped with it.
bool underServiceManager();

class Restarter
{
public:
    // helperFolder: where the helper is installed (beside the server); workFolder: the server's
    // temporary work folder, where the running copy goes.
    Restarter(QString helperFolder, QString workFolder, QString program, QStringList arguments);

    // Copies the helper into the work folder (replacing an older copy); the installed one when the
    // copy fails; empty when there is none.
    QString prepareHelper();
    QString helperPath() const { return m_helper; }
    // The helper's one argument: the encoded text for this process.
    QString helperArgument() const;
    bool startHelper();

private:
    QString m_helperFolder;
    QString m_workFolder;
    QString m_program;
    QStringList m_arguments;
    QString m_helper;
};

} // namespace diagnostics
