// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class AccessPoint;
class OperatorUi;
class clsDatabase;
class modNano;

// The actions of the access-point window ("Gestione Duvu") without the window: connect and close
// the link, visible mode, reception, the database transfer, each with the log lines the window
// shows. The window and the control channel both drive this one object, so a shell command does
// exactly what the button does.
class NanoControl : public QObject
{
    Q_OBJECT
public:
    // The window's six looks, in the order of its state methods.
    enum class Stato { ApriConnessione, ChiudiConnessione, AbilitaVisibile, DisabilitaVisibile, AbilitaRicezione,
                       DisabilitaRicezione };

    static inline const QString RifiutoInvio =
        QStringLiteral("Disabilitare la ricezione degli ordini prima di inviare il DB");
    static inline const QString EsportazioneFallita =
        QStringLiteral("...Database Duvu non scritto: l'access point conserva quello precedente");

    NanoControl(AccessPoint &accessPoint, modNano &nano, clsDatabase &db, OperatorUi *ui, bool &nanoAttivo,
                QObject *parent = nullptr);

    // Where the export is written (the work folder start-up prepares).
    void setCartellaTemporanea(std::function<QString()> folder) { m_folder = std::move(folder); }
    static QString testoStato(Stato stato);
    // "COM " followed by the port number: the text of the port's entry in the window.
    static QString voceCom(qint32 port) { return QStringLiteral("COM ") + QString::number(port); }

    // The opening procedure: true when the link is up (the connected look), otherwise the idle
    // look with reception off, and the link is handled here from now on.
    bool apertura();
    // Start-up or the tray opened the link on the port of com_nano.
    void collegamentoAvviato();
    // Start-up or the tray switched reception on.
    void ricezioneAvviata() { emit statoCambiato(Stato::AbilitaRicezione); }
    bool connettiAccessPoint(qint32 port);
    void chiudiConnessione();
    bool abilitaVisibile();
    void disabilitaVisibile();
    bool abilitaRicezione();
    void fermaRicezione();
    bool inviaDatabase();

    // The longest a database transfer may take before it is given up.
    static constexpr qint64 DurataMassimaTrasferimentoMs = 300000;

    bool collegato() const { return m_collegato; }
    // A database transfer is running, and how far it got (percent).
    bool trasferimento() const { return m_trasferimento; }
    int percentuale() const { return m_percentuale; }
    bool visibile() const { return m_visibile; }
    bool ricezione() const;
    bool nanoAttivo() const { return m_nanoAttivo; }
    // The port number com_nano holds ("COM" removed); 0 when it holds none.
    qint32 comNano() const;
    qint32 porta() const { return m_porta; }
    // One line: link, port, visible mode, reception.
    QString stato() const;
    // Every line logged so far, oldest first (bounded).
    const QStringList &log() const { return m_log; }

    // Re-entry guard of the actions: false (and nothing done) while the same action still runs.
    bool entra(const QString &key);
    void esci(const QString &key);

signals:
    void logLine(const QString &line);
    void statoCambiato(NanoControl::Stato stato);
    // Transfer progress 0..100; -1 when the transfer ends (the bar is hidden).
    void progresso(int percent);

private:
    void scrivi(const QString &line);
    void aggiungi(const QString &line); // to the window's log only
    void cambia(Stato stato);
    bool verificaAccessPoint();
    bool fineTrasferimento(bool riuscito, const QString &riga);

    AccessPoint &m_ap;
    modNano &m_nano;
    clsDatabase &m_db;
    OperatorUi *m_ui;
    bool &m_nanoAttivo;
    std::function<QString()> m_folder;
    bool m_collegato = false;
    bool m_visibile = false;
    qint32 m_porta = 0;
    bool m_trasferimento = false;
    int m_percentuale = 0;
    QStringList m_log;
};
