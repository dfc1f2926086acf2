// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NanoControl.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

// "Gestione Duvu": the operator's window over the access point: the port, connect and close, visible
// mode, reception, the database transfer, and the log of what happened. The link and TimerNano
// belong to the server and outlive the window; the actions themselves are NanoControl's.
class frmNano : public QWidget
{
    Q_OBJECT
public:
    explicit frmNano(NanoControl &control, QWidget *parent = nullptr);

    // The opening procedure, then shows the window.
    void apri();

    // The window's looks.
    void apriConnessione();
    void chiudiConnessione();
    void abilitaVisibile();
    void disabilitaVisibile();
    void abilitaRicezione();
    void disabilitaRicezione();

private:
    void riempiPorteCom();
    void onStato(NanoControl::Stato stato);
    void onLog(const QString &line);
    void onProgresso(int percent);
    // Runs a click handler unless the same one is still running.
    void clic(const QString &key, const std::function<void()> &handler);
    static void imposta(QWidget *w, bool shown, bool on);

    NanoControl &m_control;
    QLabel *m_label1;
    QComboBox *m_cmbCom;
    QPushButton *m_cmdConnetti;
    QPushButton *m_cmdChiudiConnessione;
    QPushButton *m_cmdInviaDB;
    QPushButton *m_cmdAbilitaVisibile;
    QPushButton *m_cmdDisabilitaVisibile;
    QPushButton *m_cmdAbilitaRicezione;
    QPushButton *m_cmdFermaRicezione;
    QPushButton *m_cmdAnnulla;
    QListWidget *m_listLog;
    QLabel *m_picVerde;
    QLabel *m_picRossa;
    QProgressBar *m_barra;
};
