// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmSysTray.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

frmSysTray::frmSysTray(QObject *parent)
    : QObject(parent), m_icon(new QSystemTrayIcon(this)), m_menu(new QMenu)
{
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Context: emit mousePressed(2); break;
        case QSystemTrayIcon::MiddleClick: emit mousePressed(4); break;
        default: emit mousePressed(1); break;
        }
    });
}

frmSysTray::~frmSysTray()
{
    m_icon->hide();
    delete m_menu;
}

void frmSysTray::addMenuItem(const QString &caption, const QString &key)
{
    if (caption == u"-"_s) {
        m_menu->addSeparator()->setData(key);
        return;
    }
    QAction *action = m_menu->addAction(caption);
    action->setData(key);
    connect(action, &QAction::triggered, this, [this, key] { emit menuClicked(key); });
}

void frmSysTray::setIcon(const QIcon &icon)
{
    m_icon->setIcon(icon);
}

void frmSysTray::setToolTip(const QString &text)
{
    m_icon->setToolTip(text);
}

void frmSysTray::show()
{
    if (isAvailable())
        m_icon->show();
}

bool frmSysTray::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void frmSysTray::showMenu()
{
    m_menu->popup(QCursor::pos());
}

QStringList frmSysTray::menuKeys() const
{
    QStringList keys;
    for (const QAction *a : m_menu->actions())
        keys.append(a->data().toString());
    return keys;
}
