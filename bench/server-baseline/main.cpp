// SPDX-License-Identifier: GPL-3.0-or-later
// The bare Qt server the handheld service is measured against: it answers a connection test the
// way plikoserver does (the same bytes, one reply per connection, closed once sent) with nothing
// else: no slot table, no operator log, no database.
//   pliko-server-baseline [PORT]   (default 31513)

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const quint16 port = argc > 1 ? quint16(QByteArray(argv[1]).toUInt()) : quint16(31513);
    QTcpServer server;
    server.setListenBacklogSize(512);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            auto *buffer = new QByteArray;
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, buffer] {
                *buffer += socket->readAll();
                if (buffer->contains('\r') && socket->property("answered").isNull()) {
                    socket->setProperty("answered", true);
                    socket->write("TestOK|\r");
                }
            });
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
                if (socket->bytesToWrite() == 0)
                    socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                delete buffer;
                socket->deleteLater();
            });
        }
    });
    if (!server.listen(QHostAddress::Any, port)) {
        std::fprintf(stderr, "listen on %u failed: %s\n", port, qPrintable(server.errorString()));
        return 1;
    }
    std::fprintf(stderr, "baseline listening on %u\n", port);
    return app.exec();
}
