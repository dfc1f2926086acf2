// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TicketJournal.h"

#include <QSet>
#include <QIcon>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class ServerCore;
class frmSysTray;

// Where the main window's "Comande da stampare" list reads its tickets (nullopt: the database cannot
// be read now) and what its reprint button does (tickets printed, -1 when the order has none for
// the zone; nullopt: the database is away).
struct FonteComandeDaStampare
{
    std::function<std::optional<QList<TicketJournal::Biglietto>>()> elenco;
    std::function<std::optional<int>(qint32 comanda, qint32 zona)> ristampa;
};

// The main window, "PlikoServerWindow": the operator log (lbStatus lines, txtDati requests) and the
// connections in use with their socket states, inside the frame "Connection Status"; Clear and
// Close; the tickets still to print with a reprint button; and the tray icon with its menu (radio
// service on, radio window, quit).
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
    // The "Comande da stampare" list reads from `fonte`, every `secondi` while the window is shown.
    void setComandeDaStampare(FonteComandeDaStampare fonte, int secondi = 5);
    void aggiornaDaStampare();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onTrayMouse(int button);
    void onTrayMenu(const QString &key);
    void onSlotChanged(int index, int state, const QString &peer);
    void ristampaSelezionata();

    ServerCore &m_core;
    frmSysTray *m_tray;
    QListWidget *m_lbStatus;
    QPlainTextEdit *m_txtDati;
    QPushButton *m_cmdClear;
    QPushButton *m_cmdClose;
    QLineEdit *m_txtDatiInvio;
    QPushButton *m_cmdInvio;
    QTreeWidget *m_connections;
    QTreeWidget *m_daStampare;
    QPushButton *m_cmdRistampa;
    QTimer *m_timerDaStampare;
    int m_intervalloDaStampare = 5000;
    FonteComandeDaStampare m_fonte;
    bool m_ending = false;
    QIcon m_icona;
};
