// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuiOperatorUi.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace {
QMessageBox::Icon boxIcon(OperatorUi::Icon icon)
{
    switch (icon) {
    case OperatorUi::Icon::Information: return QMessageBox::Information;
    case OperatorUi::Icon::Warning: return QMessageBox::Warning;
    case OperatorUi::Icon::Critical: return QMessageBox::Critical;
    case OperatorUi::Icon::Question: return QMessageBox::Question;
    case OperatorUi::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void GuiOperatorUi::message(const QString &text, Icon icon)
{
    if (elsewhere([this, text, icon] { message(text, icon); }))
        return;
    OperatorUi::message(text, icon);
    // A fault that repeats must not bury the desktop in boxes: past a few unread ones the message is
    // only logged.
    constexpr int MaxOpenBoxes = 10;
    if (openMessages() >= MaxOpenBoxes)
        return;
    auto *box = new QMessageBox(boxIcon(icon), QApplication::applicationDisplayName(), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    m_boxes.removeAll(nullptr);
    m_boxes.append(box);
}

bool GuiOperatorUi::question(const QString &text)
{
    if (QThread::currentThread() != thread())
        return OperatorUi::question(text);
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int GuiOperatorUi::openMessages() const
{
    int n = 0;
    for (const auto &b : m_boxes)
        n += (b && b->isVisible()) ? 1 : 0;
    return n;
}

void GuiOperatorUi::waitForOpenMessages()
{
    while (openMessages() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
