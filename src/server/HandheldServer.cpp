// SPDX-License-Identifier: GPL-3.0-or-later
#include "HandheldServer.h"

#include "Cp1252.h"
#include "Guarded.h"
#include "OperatorUi.h"
#include "modGestioneTipiDato.h"

#include <QEventLoop>
#include <QLoggingCategory>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcServer, "pliko.server")

namespace {
int stateNumber(QAbstractSocket::SocketState state)
{
    switch (state) {
    case QAbstractSocket::UnconnectedState: return 0;
    case QAbstractSocket::BoundState: return 1;
    case QAbstractSocket::ListeningState: return 2;
    case QAbstractSocket::HostLookupState: return 4;
    case QAbstractSocket::ConnectingState: return 6;
    case QAbstractSocket::ConnectedState: return 7;
    case QAbstractSocket::ClosingState: return 8;
    }
    return 9;
}
constexpr int ErrorState = 9;
// The operator log shows a request up to this length: the window stays quick with requests near
// the size limit.
constexpr qsizetype MaxLogRequest = 2000;
} // namespace

HandheldServer::HandheldServer(OperatorUi *ui, QObject *parent)
    : QObject(parent), m_ui(ui), m_listener(new QTcpServer(this))
{
    // The listener is drained at once, so the pending queue never makes it pause.
    // A lunch rush brings many handhelds at once; a short backlog would make the kernel drop their
    // connection attempts and the handhelds wait for a retry.
    m_listener->setListenBacklogSize(SlotCount);
    connect(m_listener, &QTcpServer::newConnection, this, &HandheldServer::onConnectionRequest);
}

HandheldServer::~HandheldServer()
{
    closeAll();
}

bool HandheldServer::parseListenAddress(const QString &text, QHostAddress *address, QString *error)
{
    QString host = text.trimmed();
    if (host.isEmpty()) {
        *address = QHostAddress(QHostAddress::Any);
        return true;
    }
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    QHostAddress a;
    if (!a.setAddress(host)) {
        *error = u"\""_s + text.trimmed() + u"\" non è un indirizzo IP"_s;
        return false;
    }
    // A wrong address must stop the start, not leave the handhelds without a server to find.
    const bool every = a == QHostAddress(QHostAddress::AnyIPv4) || a == QHostAddress(QHostAddress::AnyIPv6);
    if (!every && !a.isLoopback() && !QNetworkInterface::allAddresses().contains(a)) {
        *error = u"\""_s + host + u"\" non è un indirizzo di questa macchina"_s;
        return false;
    }
    *address = a;
    return true;
}

bool HandheldServer::listen(const QHostAddress &address, quint16 port)
{
    if (m_listener->isListening())
        return true;
    const QString where = address == QHostAddress(QHostAddress::Any) ? QString() : address.toString() + u' ';
    if (!m_listener->listen(address, port)) {
        m_listenError = m_listener->errorString();
        qCWarning(lcServer).noquote() << "ascolto su" << where + u"porta"_s << port << "non riuscito:" << m_listenError;
        return false;
    }
    m_listenError.clear();
    qCInfo(lcServer).noquote() << "in ascolto su" << where + u"porta"_s << m_listener->serverPort();
    emit slotChanged(0, 2, {});
    return true;
}

bool HandheldServer::isListening() const
{
    return m_listener->isListening();
}

quint16 HandheldServer::serverPort() const
{
    return m_listener->serverPort();
}

void HandheldServer::stopListening()
{
    if (!m_listener->isListening())
        return;
    m_listener->close();
    emit slotChanged(0, 0, {});
}

int HandheldServer::trovaIndiceLibero() const
{
    for (int i = FirstHandheldSlot; i < SlotCount; ++i) {
        const Slot &s = m_slots[i];
        if (!s.socket && s.buffer.isEmpty() && !s.handling)
            return i;
    }
    return 0;
}

int HandheldServer::socketState(int index) const
{
    if (index == 0)
        return m_listener->isListening() ? 2 : 0;
    if (!validSlot(index) || !m_slots[index].socket)
        return 0;
    return stateNumber(m_slots[index].socket->state());
}

QString HandheldServer::buffer(int index) const
{
    return validSlot(index) ? m_slots[index].buffer : QString();
}

QString HandheldServer::peer(int index) const
{
    return validSlot(index) ? m_slots[index].peer : QString();
}

int HandheldServer::connectionsInUse() const
{
    int n = 0;
    for (int i = FirstHandheldSlot; i < SlotCount; ++i)
        n += m_slots[i].socket ? 1 : 0;
    return n;
}

void HandheldServer::onConnectionRequest()
{
    while (QTcpSocket *socket = m_listener->nextPendingConnection()) {
        const QHostAddress address = ClientFilter::plain(socket->peerAddress());
        const QString peerText = address.toString();
        QString refusal;
        int index = 0;
        if (!m_filter.allows(address))
            refusal = u"indirizzo non ammesso"_s;
        else if ((index = trovaIndiceLibero()) == 0)
            refusal = u"nessuno slot libero"_s;
        if (!refusal.isEmpty()) {
            // Refused at once: the handheld sees the close and retries; the listener keeps listening.
            qCWarning(lcServer).noquote() << "connessione rifiutata da" << peerText << "-" << refusal;
            if (m_ui)
                m_ui->addStatus(u"Connessione rifiutata da "_s + peerText + u": "_s + refusal);
            socket->abort();
            socket->deleteLater();
            emit connectionRefused(peerText, refusal);
            continue;
        }

        Slot &slot = m_slots[index];
        socket->setParent(this);
        slot.socket = socket;
        slot.peer = peerText;
        slot.replyPending = false;
        connect(socket, &QTcpSocket::readyRead, this, [this, index, socket] {
            if (m_slots[index].socket == socket)
                onDataArrival(index);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, index, socket] {
            if (m_slots[index].socket == socket)
                onBytesWritten(index);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, index, socket] {
            if (m_slots[index].socket == socket)
                onPeerClosed(index);
        });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, index, socket](QAbstractSocket::SocketError e) {
            if (m_slots[index].socket == socket)
                onSocketError(index, e);
        });
        if (m_ui)
            m_ui->addStatus(u"connected "_s);
        armIdle(index);
        emit slotChanged(index, stateNumber(socket->state()), peerText);
        // Bytes that came with the connection are read now rather than on the next notification.
        if (socket->bytesAvailable() > 0)
            onDataArrival(index);
    }
}

void HandheldServer::armIdle(int index)
{
    Slot &slot = m_slots[index];
    if (!slot.idle) {
        slot.idle = new QTimer(this);
        slot.idle->setSingleShot(true);
        connect(slot.idle, &QTimer::timeout, this, [this, index] { onIdle(index); });
    }
    slot.idle->start(m_idleTimeout);
}

void HandheldServer::onDataArrival(int index)
{
    Slot &slot = m_slots[index];
    if (slot.handling) {
        // One request per connection: what follows while it is handled is discarded with the buffer.
        slot.socket->readAll();
        return;
    }
    const QByteArray bytes = slot.socket->peek(slot.socket->bytesAvailable());
    // A complete request leaves its last byte in the socket's read buffer, which is then held full:
    // the socket reads nothing more from the network, so a handheld that shuts its sending side
    // after the request (FIN) is not taken for gone and still gets its reply, then the close.
    if (bytes.contains('\r')) {
        slot.socket->setReadBufferSize(1);
        slot.socket->skip(bytes.size() - 1);
    } else {
        slot.socket->skip(bytes.size());
    }
    receive(index, bytes);
}

void HandheldServer::receive(int index, const QByteArray &bytes)
{
    if (!validSlot(index) || m_slots[index].handling)
        return;
    Slot &slot = m_slots[index];
    const qsizetype before = slot.buffer.size();
    slot.buffer += cp1252::decode(bytes);
    if (slot.buffer.size() > m_maxRequest) {
        qCWarning(lcServer).noquote() << "richiesta oltre" << m_maxRequest << "byte senza fine riga dallo slot"
                                      << index << "- connessione chiusa";
        if (m_ui)
            m_ui->addStatus(u"Richiesta troppo lunga: connessione chiusa"_s);
        dropConnection(index);
        return;
    }
    // Earlier arrivals held no carriage return, so only the new bytes need searching.
    const qsizetype inNew = bytes.lastIndexOf('\r');
    if (inNew < 0)
        return;
    const qsizetype cut = before + inNew;

    if (slot.idle)
        slot.idle->stop();
    slot.handling = true;
    const QString command = slot.buffer.left(cut);
    if (m_ui)
        m_ui->appendData(slot.buffer.size() <= MaxLogRequest
                             ? QString(slot.buffer + u"\r\n"_s)
                             : QString(slot.buffer.left(MaxLogRequest) + u" ... ("_s
                                       + QString::number(slot.buffer.size()) + u" caratteri)\r\n"_s));
    if (m_deferred) {
        m_deferred(command, index);
        return;
    }
    if (m_dispatch)
        m_dispatch(command, index);
    requestDone(index);
}

void HandheldServer::requestDone(int index)
{
    if (!validSlot(index) || !m_slots[index].handling)
        return;
    Slot &slot = m_slots[index];
    slot.handling = false;
    if (slot.retired) {
        // Deleted from this level, so only once control is back in the loop that notified it.
        slot.retired->deleteLater();
        slot.retired = nullptr;
    }
    // Whatever followed the last carriage return goes with the buffer.
    slot.buffer.clear();
    if (slot.socket) {
        // A connection left open after its request (an unknown command, a handler that did not
        // reply) is closed after another idle period rather than held for ever; so is one whose
        // reply stops moving because the handheld no longer reads.
        armIdle(index);
    } else {
        freeIfDone(index);
    }
}

int HandheldServer::inviaRisposta(const QString &text, int index)
{
    if (!validSlot(index) || !m_slots[index].socket
        || m_slots[index].socket->state() != QAbstractSocket::ConnectedState) {
        qCWarning(lcServer).noquote() << "risposta non inviata: la connessione dello slot" << index << "è chiusa";
        return 1;
    }
    Slot &slot = m_slots[index];
    slot.replyPending = true;
    armIdle(index);
    slot.socket->write(cp1252::encode(text));
    emit replied(index, slot.peer, text);
    return 1;
}

void HandheldServer::onBytesWritten(int index)
{
    Slot &slot = m_slots[index];
    if (!slot.replyPending)
        return;
    if (slot.socket->bytesToWrite() > 0) {
        armIdle(index);  // the reply is still moving
        return;
    }
    slot.replyPending = false;
    if (m_ui)
        m_ui->addStatus(u"dati inviati"_s);
    closeSocket(index, true);
}

void HandheldServer::onPeerClosed(int index)
{
    if (m_ui)
        m_ui->addStatus(u"Closed at "_s + tipi::now().time().toString(u"HH:mm:ss"_s));
    closeSocket(index, false);
}

void HandheldServer::onSocketError(int index, QAbstractSocket::SocketError error)
{
    // The peer's close arrives as an error first and then as the disconnection: it is a Close.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    qCInfo(lcServer).noquote() << "errore di rete sullo slot" << index << ":" << m_slots[index].socket->errorString();
    if (m_ui)
        m_ui->addStatus(u"WinSock error"_s + QString::number(ErrorState));
    closeSocket(index, false);
}

void HandheldServer::onIdle(int index)
{
    Slot &slot = m_slots[index];
    // A handler still running re-arms the timer when it returns.
    if (!slot.socket || slot.handling)
        return;
    const QString line = slot.replyPending ? u"Risposta non consegnata: connessione chiusa"_s
                                           : u"Connessione inattiva chiusa"_s;
    qCInfo(lcServer).noquote() << line << "- slot" << index << slot.peer;
    if (m_ui)
        m_ui->addStatus(line);
    dropConnection(index);
}

void HandheldServer::dropConnection(int index)
{
    if (!validSlot(index))
        return;
    Slot &slot = m_slots[index];
    slot.replyPending = false;
    if (!slot.handling)
        slot.buffer.clear();
    closeSocket(index, false);
}

void HandheldServer::closeSocket(int index, bool graceful)
{
    Slot &slot = m_slots[index];
    QTcpSocket *socket = slot.socket;
    if (!socket)
        return;
    slot.socket = nullptr;
    slot.replyPending = false;
    if (slot.idle)
        slot.idle->stop();
    disconnect(socket, nullptr, this, nullptr);
    if (graceful)
        socket->disconnectFromHost();
    else
        socket->abort();
    // A handler waiting in a nested event loop (reply first, print after) would otherwise see the
    // socket deleted under the notification that started it.
    if (slot.handling)
        slot.retired = socket;
    else
        socket->deleteLater();
    // A request that was still incomplete cannot be completed any more: its text is dropped so the
    // slot is free again (a handler running for it empties the buffer when it returns).
    if (!slot.handling && !slot.buffer.isEmpty()) {
        qCInfo(lcServer).noquote() << "richiesta incompleta scartata, slot" << index;
        slot.buffer.clear();
    }
    emit slotClosed(index);
    // What handlers left for after the close runs from the event loop, never inside this close.
    for (const quint64 id : std::exchange(slot.afterClose, {}))
        QTimer::singleShot(0, this, [this, id] { runContinuation(id); });
    freeIfDone(index);
}

void HandheldServer::dopoChiusura(int index, std::function<void()> then)
{
    if (!validSlot(index) || !m_slots[index].socket) {
        // Already closed: nothing to wait for.
        const bool held = m_hold ? m_hold() : false;
        then();
        if (m_release)
            m_release(held);
        return;
    }
    const quint64 id = ++m_nextContinuation;
    Continuation c;
    c.work = std::move(then);
    c.held = m_hold ? m_hold() : false;
    c.guard = new QTimer(this);
    c.guard->setSingleShot(true);
    connect(c.guard, &QTimer::timeout, this, [this, id, index] {
        qCWarning(lcServer).noquote() << "la connessione dello slot" << index << "non si è chiusa in tempo";
        m_slots[index].afterClose.removeAll(id);
        runContinuation(id);
    });
    c.guard->start(m_closeWait);
    m_continuations.insert(id, std::move(c));
    m_slots[index].afterClose.append(id);
}

void HandheldServer::runContinuation(quint64 id)
{
    auto it = m_continuations.find(id);
    if (it == m_continuations.end())
        return;
    Continuation c = std::move(*it);
    m_continuations.erase(it);
    c.guard->stop();
    c.guard->deleteLater();
    // Printing after the reply belongs to its request: a fault there is that request's fault.
    diagnostics::runGuarded("HandheldServer", "dopoChiusura", diagnostics::Where::Request, c.work);
    if (m_release)
        m_release(c.held);
}

void HandheldServer::freeIfDone(int index)
{
    const Slot &slot = m_slots[index];
    if (!slot.socket && !slot.handling && slot.buffer.isEmpty())
        emit slotChanged(index, 0, {});
}

bool HandheldServer::aspettaChiusura(int index)
{
    if (socketState(index) == 0)
        return true;
    QEventLoop loop;
    const auto connection = connect(this, &HandheldServer::slotClosed, &loop, [&loop, index](int closed) {
        if (closed == index)
            loop.quit();
    });
    QTimer::singleShot(m_closeWait, &loop, &QEventLoop::quit);
    loop.exec();
    disconnect(connection);
    const bool closed = socketState(index) == 0;
    if (!closed)
        qCWarning(lcServer).noquote() << "la connessione dello slot" << index << "non si è chiusa in tempo";
    return closed;
}

void HandheldServer::closeAll()
{
    stopListening();
    for (int i = FirstHandheldSlot; i < SlotCount; ++i) {
        if (m_slots[i].socket)
            closeSocket(i, false);
    }
}
