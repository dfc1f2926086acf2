// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogEvents.h"

#include "OperatorUi.h"

#include <QMetaObject>
#include <QPointer>
#include <atomic>
#include <cstring>

namespace {
QtMessageHandler previous = nullptr;
QPointer<OperatorUi> target;
std::atomic<bool> inAvvio = true;
} // namespace

LogEvents::LogEvents(OperatorUi &ui)
{
    target = &ui;
    inAvvio = true;
    previous = qInstallMessageHandler(&LogEvents::handler);
}

void LogEvents::avviato()
{
    inAvvio = false;
}

LogEvents::~LogEvents()
{
    qInstallMessageHandler(previous);
    target = nullptr;
}

void LogEvents::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (previous)
        previous(type, context, message);
    const char *category = context.category ? context.category : "";
    const bool ours = std::strncmp(category, "pliko.", 6) == 0 && std::strcmp(category, "pliko.operator") != 0;
    const bool avvio = std::strcmp(category, "pliko.log") == 0 || std::strcmp(category, "pliko.start") == 0;
    const bool wanted = type != QtDebugMsg && (avvio || ((type == QtWarningMsg || type == QtCriticalMsg) && inAvvio));
    OperatorUi *ui = target.data();
    if (!ours || !wanted || !ui)
        return;
    // Queued: the line may come from any thread, and from inside the window's own code.
    QMetaObject::invokeMethod(ui, [ui, message] { ui->addStatus(message); }, Qt::QueuedConnection);
}
