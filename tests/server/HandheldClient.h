// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>
#include <functional>
#include <sys/socket.h>

// Lets the event loop run until the condition holds; false when it never did (bounded so a broken
// server fails the test instead of hanging it).
inline bool pumpUntil(const std::function<bool()> &condition, int boundMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > boundMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(200);
    }
    return true;
}

// A simulated handheld on the same event loop as the server under test.
class HandheldClient
{
public:
    explicit HandheldClient(quint16 port)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { m_received += m_socket.readAll(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, [this] { m_closed = true; });
        QObject::connect(&m_socket, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError) {
            if (m_socket.state() != QAbstractSocket::ConnectedState)
                m_closed = true;
        });
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }
    bool waitConnected()
    {
        return pumpUntil([this] { return m_socket.state() == QAbstractSocket::ConnectedState || m_closed; })
            && !m_closed;
    }
    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }
    bool waitClosed() { return pumpUntil([this] { return m_closed; }); }
    // Shuts the sending side only (a FIN), as handhelds that have said all they had to say do.
    void shutdownSending() { ::shutdown(int(m_socket.socketDescriptor()), SHUT_WR); }
    void close() { m_socket.disconnectFromHost(); }
    const QByteArray &received() const { return m_received; }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    bool m_closed = false;
};

// One whole exchange as a handheld makes it: connect, send, and what came back once the other side
// closed.
inline QByteArray exchange(quint16 port, const QByteArray &request)
{
    HandheldClient client(port);
    if (!client.waitConnected())
        return "(not connected)";
    client.send(request);
    return client.waitClosed() ? client.received() : "(still open) " + client.received();
}
