// SPDX-License-Identifier: GPL-3.0-or-later
#include "OperatorUi.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcOperator, "pliko.operator")

namespace {
// The operator log is kept for the window and for support; a long service must not grow it forever.
constexpr qsizetype MaxStatusLines = 5000;
constexpr qsizetype MaxDataChars = 1 << 20;
constexpr qsizetype MaxMessages = 1000;
}

void OperatorUi::message(const QString &text, Icon icon)
{
    if (elsewhere([this, text, icon] { message(text, icon); }))
        return;
    if (icon == Icon::Critical || icon == Icon::Warning)
        qCWarning(lcOperator).noquote() << "messaggio:" << text;
    else
        qCInfo(lcOperator).noquote() << "messaggio:" << text;
    m_messages.append(text);
    if (m_messages.size() > MaxMessages)
        m_messages.removeFirst();
    emit messageShown(text, icon);
}

bool OperatorUi::question(const QString &text)
{
    qCInfo(lcOperator).noquote() << "domanda (risposta no):" << text;
    if (!elsewhere([this, text] { m_messages.append(text); }))
        m_messages.append(text);
    return false;
}

void OperatorUi::beginBusy()
{
    if (elsewhere([this] { beginBusy(); }))
        return;
    if (m_busy++ == 0)
        emit busyChanged(true);
}

void OperatorUi::endBusy()
{
    if (elsewhere([this] { endBusy(); }))
        return;
    if (m_busy > 0 && --m_busy == 0)
        emit busyChanged(false);
}

void OperatorUi::addStatus(const QString &line)
{
    if (elsewhere([this, line] { addStatus(line); }))
        return;
    qCDebug(lcOperator).noquote() << "status:" << line;
    m_status.append(line);
    // Trimmed in halves, not line by line: a busy service would otherwise move the whole log on
    // every request.
    if (m_status.size() > 2 * MaxStatusLines)
        m_status.remove(0, m_status.size() - MaxStatusLines);
    emit statusAdded(line);
}

void OperatorUi::appendData(const QString &text)
{
    if (elsewhere([this, text] { appendData(text); }))
        return;
    m_data += text;
    if (m_data.size() > 2 * MaxDataChars)
        m_data.remove(0, m_data.size() - MaxDataChars);
    emit dataAppended(text);
}

void OperatorUi::clearLog()
{
    m_status.clear();
    m_data.clear();
    emit logCleared();
}
