// SPDX-License-Identifier: GPL-3.0-or-later
#include "Restart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

Q_LOGGING_CATEGORY(lcRestart, "pliko.restart")

using namespace Qt::StringLiterals;

namespace diagnostics {

QString joinCommand(const QStringList &words)
{
    QStringList parts;
    for (const QString &w : words) {
        if (!w.isEmpty() && !w.contains(u' ') && !w.contains(u'"') && !w.contains(u'\t')) {
            parts << w;
            continue;
        }
        QString quoted = w;
        quoted.replace(u"\""_s, u"\"\"\""_s);
        parts << u'"' + quoted + u'"';
    }
    return parts.join(u' ');
}

QString restartArgumentText(qint64 pid, const QString &program, const QStringList &arguments)
{
    QStringList words{program};
    for (const QString &a : arguments) {
        if (a != NoErrorsArgument)
            words << a;
    }
    words << NoErrorsArgument;
    return u"waitpid "_s + QString::number(pid) + u" execnowaithidden "_s + joinCommand(words);
}

QByteArray encodeRestartArgument(const QString &text)
{
    return text.toUtf8().toBase64();
}

bool underServiceManager()
{
    return !qEnvironmentVariableIsEmpty("INVOCATION_ID") || !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
}

Restarter::Restarter(QString helperFolder, QString workFolder, QString program, QStringList arguments)
    : m_helperFolder(std::move(helperFolder)), m_workFolder(std::move(workFolder)), m_program(std::move(program)),
      m_arguments(std::move(arguments))
{
}

QString Restarter::prepareHelper()
{
    const QString installed = QDir(m_helperFolder).filePath(HelperName);
    m_helper.clear();
    if (!QFileInfo(installed).isExecutable())
        return m_helper;
    // The running copy lives in the work folder, so an update of the installed program never finds
    // its helper busy.
    m_helper = installed;
    if (!m_workFolder.isEmpty() && QDir().mkpath(m_workFolder)) {
        const QString copy = QDir(m_workFolder).filePath(HelperName);
        if (QFileInfo(copy).canonicalFilePath() == QFileInfo(installed).canonicalFilePath())
            return m_helper;
        QFile::remove(copy);
        if (QFile::copy(installed, copy)) {
            QFile::setPermissions(copy, QFile::permissions(installed));
            m_helper = copy;
        }
    }
    return m_helper;
}

QString Restarter::helperArgument() const
{
    return QString::fromLatin1(
        encodeRestartArgument(restartArgumentText(QCoreApplication::applicationPid(), m_program, m_arguments)));
}

bool Restarter::startHelper()
{
    if (m_helper.isEmpty())
        prepareHelper();
    if (m_helper.isEmpty()) {
        qCCritical(lcRestart).noquote() << HelperName << "non trovato in" << m_helperFolder
                                        << ": il server va riavviato a mano";
        return false;
    }
    if (!QProcess::startDetached(m_helper, {helperArgument()})) {
        qCCritical(lcRestart).noquote() << "avvio di" << m_helper << "non riuscito";
        return false;
    }
    qCInfo(lcRestart).noquote() << "riavvio affidato a" << m_helper;
    return true;
}

} // namespace diagnostics
