// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHostAddress>
#include <QObject>
#include <functional>

class QTcpServer;
class QTcpSocket;

// The metrics endpoint ([PlikoServer] MetricsAddress, off by default): a minimal HTTP/1.0 server
// that answers "GET /metrics" with the Prometheus text format and nothing else. It listens on a
// local address only (loopback or one of this machine's own), reads at most a small request head
// within a few seconds, and serves a few connections at a time: a scraper, not the world.
class MetricsServer : public QObject
{
    Q_OBJECT
public:
    using Provider = std::function<QString()>;

    explicit MetricsServer(Provider provider, QObject *parent = nullptr);
    ~MetricsServer() override;

    // "127.0.0.1:9312", "[::1]:9312" or "localhost:9312". False with the reason when the text is
    // not an address and port, or the address is not one of this machine's.
    static bool parseAddress(const QString &text, QHostAddress *address, quint16 *port, QString *error);

    // Listens on the address ("" stops the endpoint). False with the reason in error().
    bool listen(const QString &addressText);
    void stop();
    bool isListening() const;
    quint16 port() const;
    QString error() const { return m_error; }

private:
    void onConnection();
    void onReadable(QTcpSocket *socket);

    Provider m_provider;
    QTcpServer *m_server;
    QString m_error;
    int m_open = 0;
};
