// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AccessPoint.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class NanoHandlers;
class OperatorUi;
class clsDatabase;

// The radio receive loop: TimerNano polls the access point for the next handheld message, hands it
// to the handler of its kind and sends the one reply that kind calls for. Its reception switch is
// the timer. No widgets: the main window, the radio window and the control channel all drive it.
class modNano : public QObject
{
    Q_OBJECT
public:
    static constexpr int BufferSize = 2000;
    static constexpr int TickMs = 250;
    // Failed polls in a row before the operator is told the device stopped answering.
    static constexpr int FailedPollsBeforeWarning = 5;
    static inline const QString NotAnswering = QStringLiteral("Access point non risponde");
    static inline const QString LineLost = QStringLiteral("Access point scollegato");
    // The longest wait between polls of a device that keeps failing.
    static constexpr int MaxPollIntervalMs = 5000;

    modNano(AccessPoint &accessPoint, NanoHandlers &handlers, clsDatabase &db, OperatorUi *ui,
            QObject *parent = nullptr);

    QTimer &TimerNano() { return m_timer; }
    // Reception on: the timer runs (or a tick is running and will restart it).
    bool ricezioneAttiva() const { return m_reception; }
    void abilitaRicezione();
    void disabilitaRicezione();

    // Where the shared database is. The radio service holds one open of it for as long as reception
    // is on, whichever way reception came on (start-up, tray, window, shell): the handheld service
    // closes its own opens when its requests stop, and a message must never find the database closed.
    void setPercorsoDatabase(std::function<QString()> percorso) { m_percorso = std::move(percorso); }
    bool databaseTenuto() const { return m_dbTenuto; }
    // Where work on the database runs (the database thread, one piece at a time with the handheld
    // requests); unset, it runs in place. A message's database part runs there, its reply to the
    // access point comes back here and is sent from this thread, and the next poll follows it.
    void setEsecutore(std::function<void(std::function<void()>)> esecutore) { m_esecutore = std::move(esecutore); }

    // One open of the database for the length of one action of the window or the shell (reading
    // com_nano, the export), with the database to itself; without a path it relies on the database
    // being open already.
    class UsoDatabase
    {
    public:
        explicit UsoDatabase(modNano &nano);
        ~UsoDatabase();
        UsoDatabase(const UsoDatabase &) = delete;
        UsoDatabase &operator=(const UsoDatabase &) = delete;

    private:
        clsDatabase &m_db;
        bool m_aperto = false;
    };

    // One poll: receive, dispatch, reply. Public so tests and the benchmark drive it directly. With
    // a threaded driver the poll returns at once and the message is handled when it comes back.
    void tick();
    // A poll is on its way (or a message is being handled).
    bool inTick() const { return m_inTick; }
    // The wait before the next poll: TickMs, growing while the device keeps failing.
    int intervallo() const;
    // The port reported an I/O error and is closed (the driver reopens it by itself).
    bool lineaPersa() const { return m_lineaPersa; }
    // Since start: polls made, polls the device did not answer, "T" messages recorded.
    qint64 polls() const { return m_polls; }
    qint64 failedPolls() const { return m_failedPollsTotal; }

    // A row of tavoli holds this number.
    bool esisteTavolo(qint32 table);
    // Probes the device; info receives its system information when it answers.
    bool verificaAccessPoint(QString &info);

    // A reply set into the receive buffer: cut to 2000 characters or padded with blanks to 2000.
    static QByteArray bufferRisposta(const QByteArray &reply);

signals:
    // The operator heard the device stopped answering (once per outage), and when it came back.
    void accessPointSilent();
    void accessPointBack();
    // The line was lost (reported once) or came back.
    void lineaCambiata(bool persa);

private:
    void ricevuto(const AccessPoint::Messaggio &m);
    void segnalaLinea(bool persa);
    bool apriDatabase();
    bool tieniDatabase();
    void lasciaDatabase();
    // The reply to the access point, prepared where the database is and sent from this thread.
    using Invio = std::function<void()>;
    Invio dispatch(int kind, const QByteArray &body);
    Invio rispondiStatoTavolo(const QByteArray &body);
    Invio rispondiSpostaTavolo(const QByteArray &body);
    // Runs `work` where the database is, then `then` back on this thread.
    void esegui(std::function<void()> work, std::function<void()> then);
    void fineTick();

    AccessPoint &m_ap;
    NanoHandlers &m_handlers;
    clsDatabase &m_db;
    OperatorUi *m_ui;
    QTimer m_timer;
    bool m_reception = false;
    bool m_inTick = false;
    int m_failedPolls = 0;
    qint64 m_polls = 0;
    qint64 m_failedPollsTotal = 0;
    bool m_lineaPersa = false;
    std::function<QString()> m_percorso;
    bool m_dbTenuto = false;
    std::function<void(std::function<void()>)> m_esecutore;
};
