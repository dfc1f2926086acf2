// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QIcon>
#include <QStringList>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class ServerCore;
class frmSysTray;

// The main window, "PlikoServerWindow": the operator log (lbStatus lines, txtDati requests) and the
// connections in use with their socket states, inside the frame "Connection Status"; Clear and
// Close; and the tray icon with its menu (radio service on, radio window, quit).
class frmMain : public QWidget
{
    Q_OBJECT
public:
    explicit frmMain(ServerCore &core, QWidget *parent = nullptr);
    ~frmMain() override;

    frmSysTray *tray() const { return m_tray; }
    // Shows the window where the desktop has no tray, so the server is never invisible.
    void presentAtStart();

    void attivaNano();
    void gestioneNano();
    void chiudiProgramma();
    // The tray shows a warning while some zone's ticket printer fails (names of those zones).
    void avvisoStampanti(const QStringList &zoneGuaste);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onTrayMouse(int button);
    void onTrayMenu(const QString &key);
    void onSlotChanged(int index, int state, const QString &peer);

    ServerCore &m_core;
    frmSysTray *m_tray;
    QListWidget *m_lbStatus;
    QPlainTextEdit *m_txtDati;
    QPushButton *m_cmdClear;
    QPushButton *m_cmdClose;
    QLineEdit *m_txtDatiInvio;
    QPushButton *m_cmdInvio;
    QTreeWidget *m_connections;
    bool m_ending = false;
    QIcon m_icona;
};
