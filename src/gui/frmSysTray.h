// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;
class QSystemTrayIcon;

// The notification-area icon and its pop-up menu. Items are added with a caption and a key ("-"
// makes a separator); a click on an item reports its key, a mouse press on the icon its button
// code (2 for the right button). Destroying the object removes the icon.
class frmSysTray : public QObject
{
    Q_OBJECT
public:
    explicit frmSysTray(QObject *parent = nullptr);
    ~frmSysTray() override;

    void addMenuItem(const QString &caption, const QString &key);
    void setIcon(const QIcon &icon);
    void setToolTip(const QString &text);
    void show();
    bool isAvailable() const;
    // Pops the menu up at the pointer.
    void showMenu();

    QMenu *menu() const { return m_menu; }
    QStringList menuKeys() const;

signals:
    void mousePressed(int button);
    void menuClicked(const QString &key);

private:
    QSystemTrayIcon *m_icon;
    QMenu *m_menu;
};
