// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsServer.h"
#include "HandheldServer.h"

#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype MaxHead = 8192;
// Enough for several scrapers at once; a client that sends no request within ReadBound is closed,
// so idle connections never keep a scrape out for long.
constexpr int MaxConnections = 64;
constexpr std::chrono::seconds ReadBound{2};

QByteArray response(const QByteArray &status, const QByteArray &type, const QByteArray &body)
{
    return "HTTP/1.0 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}
} // namespace

MetricsServer::MetricsServer(Provider provider, QObject *parent)
    : QObject(parent), m_provider(std::move(provider)), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &MetricsServer::onConnection);
}

MetricsServer::~MetricsServer() = default;

bool MetricsServer::parseAddress(const QString &text, QHostAddress *address, quint16 *port, QString *error)
{
    const QString t = text.trimmed();
    const qsizetype colon = t.lastIndexOf(u':');
    QString host = colon < 0 ? QString() : t.left(colon);
    bool ok = false;
    const uint number = colon < 0 ? 0 : t.mid(colon + 1).toUInt(&ok);
    if (colon < 0 || !ok || number == 0 || number > 65535) {
        if (error)
            *error = u"\""_s + t + u"\" non è indirizzo:porta (es. 127.0.0.1:9312)"_s;
        return false;
    }
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    QHostAddress a;
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        a = QHostAddress(QHostAddress::LocalHost);
    else if (!a.setAddress(host)) {
        if (error)
            *error = u"\""_s + host + u"\" non è un indirizzo IP"_s;
        return false;
    }
    // An IPv4 address written the IPv6 way is the IPv4 address: listened on as such.
    bool mapped = false;
    const quint32 v4 = a.toIPv4Address(&mapped);
    if (mapped && a.protocol() == QAbstractSocket::IPv6Protocol)
        a = QHostAddress(v4);
    if (number == HandheldServer::DefaultPort) {
        if (error)
            *error = u"la porta "_s + QString::number(number) + u" è quella dei palmari"_s;
        return false;
    }
    // Counters of a restaurant's service are nobody else's business: never every interface.
    if (!a.isLoopback() && !QNetworkInterface::allAddresses().contains(a)) {
        if (error)
            *error = u"\""_s + host + u"\" non è un indirizzo di questa macchina"_s;
        return false;
    }
    if (address)
        *address = a;
    if (port)
        *port = quint16(number);
    return true;
}

bool MetricsServer::listen(const QString &addressText)
{
    stop();
    m_error.clear();
    if (addressText.trimmed().isEmpty())
        return true;
    QHostAddress address;
    quint16 port = 0;
    if (!parseAddress(addressText, &address, &port, &m_error))
        return false;
    if (!m_server->listen(address, port)) {
        m_error = m_server->errorString();
        return false;
    }
    return true;
}

void MetricsServer::stop()
{
    if (m_server->isListening())
        m_server->close();
}

bool MetricsServer::isListening() const
{
    return m_server->isListening();
}

quint16 MetricsServer::port() const
{
    return m_server->serverPort();
}

void MetricsServer::onConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_open >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_open;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this] { --m_open; });
        // A client that sends nothing (or too slowly) does not hold a connection.
        QTimer::singleShot(ReadBound, socket, [socket] { socket->abort(); socket->deleteLater(); });
    }
}

void MetricsServer::onReadable(QTcpSocket *socket)
{
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    if (socket->property("answered").toBool())
        return;
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0 && head.size() <= MaxHead) {
        socket->setProperty("head", head);
        return;
    }
    socket->setProperty("answered", true);
    QByteArray reply;
    const QList<QByteArray> request = head.left(head.indexOf("\r\n")).split(' ');
    if (end < 0) {
        reply = response("431 Request Header Fields Too Large", "text/plain", "request too large\n");
    } else if (request.size() < 2 || request[0] != "GET") {
        reply = response("405 Method Not Allowed", "text/plain", "only GET\n");
    } else if (request[1] == "/metrics") {
        reply = response("200 OK", "text/plain; version=0.0.4; charset=utf-8", m_provider().toUtf8());
    } else {
        reply = response("404 Not Found", "text/plain", "see /metrics\n");
    }
    socket->write(reply);
    socket->disconnectFromHost();
}
