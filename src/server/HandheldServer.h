// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClientFilter.h"
#include "HandheldLink.h"

#include <QAbstractSocket>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <chrono>
#include <functional>

class OperatorUi;
class QTcpServer;
class QTcpSocket;
class QTimer;

// wsServer, the handheld TCP service: slot 0 listens on port 31512, slot 1 is reserved, slots 2 to
// 500 carry one connection each. A connection brings one request ended by a carriage return; the
// text up to the last carriage return goes to the dispatcher (analizzaDati), the one reply goes
// out through inviaRisposta, and the connection is closed once the reply has been sent. Every
// connection event is written to the operator log (lbStatus), every complete request to txtDati.
//
// Beyond the classic rules, a slot is never left unusable: a connection that ends with an
// incomplete request is freed, one that completes no request within the idle timeout is closed,
// and a request that grows past the buffer limit without a carriage return is dropped.
class HandheldServer : public QObject, public HandheldLink
{
    Q_OBJECT
public:
    static constexpr int SlotCount = 501;
    static constexpr int FirstHandheldSlot = 2;
    static constexpr quint16 DefaultPort = 31512;

    using Dispatch = std::function<void(const QString &text, int index)>;

    explicit HandheldServer(OperatorUi *ui, QObject *parent = nullptr);
    ~HandheldServer() override;

    void setDispatch(Dispatch dispatch) { m_dispatch = std::move(dispatch); }
    // A dispatch that finishes later (on the database thread): it calls requestDone(index), on this
    // object's thread, once the request's handler has returned. Until then the slot stays taken.
    void setDeferredDispatch(Dispatch dispatch) { m_deferred = std::move(dispatch); }
    void requestDone(int index);
    void setIdleTimeout(std::chrono::milliseconds timeout) { m_idleTimeout = timeout; }
    void setMaxRequestBytes(qsizetype bytes) { m_maxRequest = bytes; }
    void setCloseWait(std::chrono::milliseconds wait) { m_closeWait = wait; }
    void setClientFilter(const ClientFilter &filter) { m_filter = filter; }

    // [PlikoServer] ListenAddress: empty is every address; otherwise an IP address this machine has
    // (a loopback one included). False with the reason in *error when it is not.
    static bool parseListenAddress(const QString &text, QHostAddress *address, QString *error);
    // Slot 0 starts listening (the service's port; tests pass 0 for any free port).
    bool listen(const QHostAddress &address = QHostAddress::Any, quint16 port = DefaultPort);
    bool isListening() const;
    quint16 serverPort() const;
    QString listenError() const { return m_listenError; }
    // Stops accepting new connections; those in progress go on.
    void stopListening();

    // The framing of bytes that came on a slot: they join its buffer and, once a carriage return
    // has come, the text up to the last one goes to the dispatcher. The socket feeds it; the fuzz
    // target feeds it directly, many thousand requests a second without a connection each.
    void receive(int index, const QByteArray &bytes);
    // The first free slot from 2 to 500 (socket closed and buffer empty), 0 when there is none.
    int trovaIndiceLibero() const;
    int inviaRisposta(const QString &text, int index) override;
    bool aspettaChiusura(int index) override;
    // Queues `then` to run once the slot's connection has closed (at the latest after the close
    // wait), from the event loop, after the handler has returned.
    void dopoChiusura(int index, std::function<void()> then) override;
    // Work queued by dopoChiusura is held open by these (the dispatcher keeps the database open
    // and counts it as a request in progress, so shutdown waits for it).
    void setContinuationGuard(std::function<bool()> hold, std::function<void(bool)> release)
    {
        m_hold = std::move(hold);
        m_release = std::move(release);
    }
    int pendingContinuations() const { return int(m_continuations.size()); }

    // The socket state number of a slot: 0 closed, 1 open, 2 listening, 4 resolving, 6 connecting,
    // 7 connected, 8 closing, 9 error.
    int socketState(int index) const;
    QString buffer(int index) const;
    QString peer(int index) const;
    int connectionsInUse() const;
    // Closes a slot's connection at once and frees it (a rejected or abandoned request).
    void dropConnection(int index);
    void closeAll();

signals:
    // A slot was taken or freed; state as socketState().
    void slotChanged(int index, int state, const QString &peer);
    void slotClosed(int index);
    void connectionRefused(const QString &peer, const QString &reason);
    // A reply went out on a slot (the event list says what each request got).
    void replied(int index, const QString &peer, const QString &text);

private:
    struct Slot
    {
        QTcpSocket *socket = nullptr;
        QTimer *idle = nullptr;
        QString buffer;
        QString peer;
        bool handling = false;
        bool replyPending = false;
        // A socket closed while its own request is being handled: deleted once the handler has
        // returned, because its data notification is still on the stack below the handler.
        QTcpSocket *retired = nullptr;
        // What handlers left to do once this connection has closed, in order.
        QList<quint64> afterClose;
    };
    struct Continuation
    {
        std::function<void()> work;
        QTimer *guard = nullptr;
        bool held = false;
    };
    void runContinuation(quint64 id);

    void onConnectionRequest();
    void onDataArrival(int index);
    void onBytesWritten(int index);
    void onPeerClosed(int index);
    void onSocketError(int index, QAbstractSocket::SocketError error);
    void onIdle(int index);
    void closeSocket(int index, bool graceful);
    void freeIfDone(int index);
    bool validSlot(int index) const { return index >= FirstHandheldSlot && index < SlotCount; }
    void armIdle(int index);

    OperatorUi *m_ui;
    QTcpServer *m_listener;
    std::array<Slot, SlotCount> m_slots;
    Dispatch m_dispatch;
    Dispatch m_deferred;
    ClientFilter m_filter;
    QString m_listenError;
    std::chrono::milliseconds m_idleTimeout{60000};
    std::chrono::milliseconds m_closeWait{30000};
    std::function<bool()> m_hold;
    std::function<void(bool)> m_release;
    QHash<quint64, Continuation> m_continuations;
    quint64 m_nextContinuation = 0;
    qsizetype m_maxRequest = 1 << 20;
};
