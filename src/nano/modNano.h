// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class AccessPoint;
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

    modNano(AccessPoint &accessPoint, NanoHandlers &handlers, clsDatabase &db, OperatorUi *ui,
            QObject *parent = nullptr);

    QTimer &TimerNano() { return m_timer; }
    // Reception on: the timer runs (or a tick is running and will restart it).
    bool ricezioneAttiva() const { return m_reception; }
    void abilitaRicezione();
    void disabilitaRicezione();

    // One poll: receive, dispatch, reply. Public so tests and the benchmark drive it directly.
    void tick();

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

private:
    void dispatch(int kind, const QByteArray &body);
    void rispondiStatoTavolo(const QByteArray &body);
    void rispondiSpostaTavolo(const QByteArray &body);

    AccessPoint &m_ap;
    NanoHandlers &m_handlers;
    clsDatabase &m_db;
    OperatorUi *m_ui;
    QTimer m_timer;
    bool m_reception = false;
    bool m_inTick = false;
    int m_failedPolls = 0;
};
