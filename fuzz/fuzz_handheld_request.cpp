// SPDX-License-Identifier: GPL-3.0-or-later
// A slot's bytes through the real server: the listener, framing, the dispatcher and every
// command handler, on the demo restaurant over loopback. Each input is one connection; its bytes
// arrive in two pieces (the framing joins them) and end with a carriage return when they carry
// none (else the request would only wait for the idle time). The server must answer or drop the
// request and keep serving: after every input a connection test is still answered "TestOK|".
#include "CommandWiring.h"
#include "FuzzSupport.h"
#include "NullAccessPoint.h"
#include "OperatorUi.h"
#include "ServerContext.h"
#include "ServerCore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Server
{
    Server()
    {
        const QString config = dir.filePath(u"plikoserver.ini"_s);
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            __builtin_trap();
        f.write(QString(u"[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath="_s + fuzz::demoDatabase()
                        + u"\n[PlikoServer]\nLocale=it_IT\nIdleTimeoutSeconds=5\n"_s)
                    .toUtf8());
        f.close();
        context = std::make_unique<ServerContext>(std::make_unique<Registry>(config), nullptr,
                                                  std::make_unique<NullAccessPoint>());
        context->database().setRetryDelay(std::chrono::milliseconds(1));
        core = std::make_unique<ServerCore>(*context);
        services = std::make_unique<HandheldServices>(core->dispatcher(), *context, core->wsServer());
        QObject::connect(&context->ui(), &OperatorUi::dataAppended, [this] { ++requests; });
        if (core->avvia(0) != 0 || !core->wsServer().isListening())
            __builtin_trap();
    }

    // Sends the bytes on one connection and waits until the server is done with them: the
    // connection closed by the server, or (unless a reply is owed) the request handled and nothing
    // left running; a reply still on its way then is not waited for.
    QByteArray exchange(const QByteArray &first, const QByteArray &second, bool replyOwed)
    {
        QTcpSocket client;
        client.connectToHost(u"127.0.0.1"_s, core->wsServer().serverPort());
        if (!client.waitForConnected(5000))
            __builtin_trap();
        const int before = requests;
        client.write(first);
        client.flush();
        QCoreApplication::processEvents();
        client.write(second);
        client.flush();
        QElapsedTimer clock;
        clock.start();
        QByteArray reply;
        while (client.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            reply += client.readAll();
            const bool handled = requests > before && core->dispatcher().activeRequests() == 0
                && core->wsServer().pendingContinuations() == 0;
            if (handled && !replyOwed && clock.elapsed() > 20)
                break; // handled without closing: a request that gets no reply
        }
        reply += client.readAll();
        client.abort();
        // Let the server see the close and free the slot.
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        return reply;
    }

    QTemporaryDir dir;
    std::unique_ptr<ServerContext> context;
    std::unique_ptr<ServerCore> core;
    std::unique_ptr<HandheldServices> services;
    int requests = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::initialise();
    static Server *server = new Server;
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!bytes.contains('\r'))
        bytes += '\r';
    const qsizetype half = bytes.size() / 2;
    server->exchange(bytes.left(half), bytes.mid(half), false);
    // Still serving.
    if (server->exchange("PALM01|TestConnessione|", "\r", true) != "TestOK|\r")
        __builtin_trap();
    return 0;
}
