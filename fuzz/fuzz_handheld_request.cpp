// SPDX-License-Identifier: GPL-3.0-or-later
// A slot's bytes through the real server: framing, the dispatcher and every command handler, on
// the demo restaurant. Each input is one request; its bytes arrive in two pieces (the framing
// joins them) and end with a carriage return when they carry none (else the request would only
// wait for the idle time). The server must answer or drop the request and keep serving.
//
// Requests run in place on this thread, with no pause between statements, as on the server's
// database thread. Most inputs go straight into the slot's framing, as the socket would hand them
// over, and the reply is taken where the handler gives it to the connection: a connection and its
// turns of the event loop would cost far more than the request itself. One input in SocketEvery
// (chosen by its content, so that a finding replays the same way) goes through a real loopback
// connection instead, the listener, the reply on the wire and the close after it included.
//
// Still serving, after every input: a connection test through the framing is answered "TestOK|",
// every slot is free, nothing of the request runs any more, the listener listens, and the database
// is neither marked out of reach nor left in a transaction. After each input that went through a
// socket, the connection test is also made over a new connection. A server that stops serving in
// a way none of these shows at once (its listener or event loop broken) still fails that test
// within SocketEvery inputs on average.
#include "CommandWiring.h"
#include "FuzzSupport.h"
#include "NullAccessPoint.h"
#include "OperatorUi.h"
#include "ServerContext.h"
#include "ServerCore.h"
#include "SqliteEngine.h"
#include "clsDatabase.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 SocketEvery = 128;
constexpr int ExchangeLimitMs = 10000;
const QByteArray ConnectionTest = "PALM01|TestConnessione|\r";

[[noreturn]] void fault(const char *what)
{
    std::fprintf(stderr, "fuzz_handheld_request: %s\n", what);
    __builtin_trap();
}

// The connection as the dispatcher's requests see it, with the replies they send kept. A reply on a
// slot fed without a socket stops here: the server would only log that its connection is gone.
class RecordingLink final : public HandheldLink
{
public:
    RecordingLink(HandheldLink &link, const HandheldServer &server) : m_link(link), m_server(server) {}
    int inviaRisposta(const QString &text, int index) override
    {
        replies += text;
        return m_server.socketState(index) == 0 ? 1 : m_link.inviaRisposta(text, index);
    }
    bool aspettaChiusura(int index) override { return m_link.aspettaChiusura(index); }
    void dopoChiusura(int index, std::function<void()> then) override { m_link.dopoChiusura(index, std::move(then)); }

    QString replies;

private:
    HandheldLink &m_link;
    const HandheldServer &m_server;
};

struct Server
{
    Server()
    {
        const QString config = dir.filePath(u"plikoserver.ini"_s);
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            fault("configuration not written");
        f.write(QString(u"[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath="_s + fuzz::demoDatabase()
                        + u"\n[PlikoServer]\nLocale=it_IT\nIdleTimeoutSeconds=5\n"_s)
                    .toUtf8());
        f.close();
        context = std::make_unique<ServerContext>(std::make_unique<Registry>(config), nullptr,
                                                  std::make_unique<NullAccessPoint>());
        // A statement that fails is still tried again, without the pause meant for a busy file.
        context->database().setRetryDelay(std::chrono::milliseconds(0));
        // As on the database thread: a request runs its statements without turning the event loop.
        context->database().setYieldBeforeStatements(false);
        core = std::make_unique<ServerCore>(*context);
        services = std::make_unique<HandheldServices>(core->dispatcher(), *context, core->link());
        link = std::make_unique<RecordingLink>(core->link(), core->wsServer());
        core->dispatcher().setLink(link.get());
        HandheldServer &ws = core->wsServer();
        QObject::connect(&context->ui(), &OperatorUi::dataAppended, [this] { ++requests; });
        QObject::connect(&ws, &HandheldServer::slotChanged, [this](int index, int state) {
            if (index >= HandheldServer::FirstHandheldSlot && state != 0)
                slot = index;
        });
        if (core->avvia(0) != 0 || !ws.isListening())
            fault("the server did not start");
        keepDatabaseOpen();
        address.sin_family = AF_INET;
        address.sin_port = htons(ws.serverPort());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }

    // The database stays open, as between the requests of a busy service, and its statements kept as
    // sent are at their bound from the start: a new one then replaces an old one, so an input
    // allocates no more than it frees (libFuzzer checks for leaks, at length, after each that does).
    void keepDatabaseOpen()
    {
        clsDatabase &db = context->database();
        if (!db.openDB(context->databasePath))
            fault("the database did not open");
        // The tickets' first retry creates their journal: done before, as a change of schema drops
        // every statement kept.
        services->riprovaOra();
        auto *sqlite = dynamic_cast<SqliteEngine *>(db.engine());
        for (int i = 1; sqlite && sqlite->keptStatements() < SqliteEngine::KeptStatements; ++i)
            db.openSnapshot(u"SELECT id_comanda FROM comande WHERE id_comanda = "_s + QString::number(-i));
    }

    // The bytes into a free slot's framing, as its socket would hand them over: a second piece
    // only while the first has not made a request (after one, the socket reads no more).
    QString feed(const QByteArray &first, const QByteArray &second)
    {
        HandheldServer &ws = core->wsServer();
        const int index = ws.trovaIndiceLibero();
        if (index != HandheldServer::FirstHandheldSlot)
            fault("a slot was left in use");
        link->replies.clear();
        const int before = requests;
        ws.receive(index, first);
        if (requests == before)
            ws.receive(index, second);
        if (requests == before)
            fault("a request ended by a carriage return was not taken");
        return link->replies;
    }

    // One real connection carrying the bytes in two pieces; what came back once the server is done
    // with it: the connection closed by the server, or the request handled with no reply owed.
    QByteArray exchange(const QByteArray &first, const QByteArray &second)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
            fault("no connection to the server");
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        const int requestsBefore = requests;
        link->replies.clear();
        slot = 0;
        QByteArray reply;
        bool closed = false;
        QDeadlineTimer deadline(ExchangeLimitMs);
        const auto turn = [&] {
            QCoreApplication::processEvents();
            char buffer[4096];
            for (;;) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n > 0) {
                    reply.append(buffer, n);
                    continue;
                }
                closed = closed || n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
                break;
            }
            if (deadline.hasExpired())
                fault("the server did not finish with a request in time");
        };
        const auto send = [&](const QByteArray &bytes) {
            if (::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) != bytes.size())
                fault("request not sent whole");
        };
        if (!first.isEmpty()) {
            send(first);
            // The first piece is in the slot's buffer (or already a whole request) before the rest.
            while (!closed && requests == requestsBefore && (slot == 0 || core->wsServer().buffer(slot).isEmpty()))
                turn();
        }
        if (!closed)
            send(second);
        for (;;) {
            turn();
            // Done once nothing of the request runs any more (printing after the close included)
            // and the connection is closed; a request with no reply leaves it open.
            const bool quiet = core->dispatcher().activeRequests() == 0 && core->wsServer().pendingContinuations() == 0;
            if (quiet && (closed || (requests > requestsBefore && link->replies.isEmpty())))
                break;
        }
        // A connection still open after its request: what the idle timeout would do, at once.
        if (slot != 0 && core->wsServer().socketState(slot) != 0)
            core->wsServer().dropConnection(slot);
        ::close(fd);
        // Closed sockets go now rather than pile up until the loop next runs at top level.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return reply;
    }

    void checkServing()
    {
        if (feed(ConnectionTest, {}) != u"TestOK|\r"_s)
            fault("the connection test was not answered");
        HandheldServer &ws = core->wsServer();
        if (!ws.isListening())
            fault("the listener stopped");
        if (ws.trovaIndiceLibero() != HandheldServer::FirstHandheldSlot)
            fault("a slot was left in use");
        if (core->dispatcher().activeRequests() != 0 || ws.pendingContinuations() != 0)
            fault("work of a request was left running");
        if (core->dispatcher().databaseDown())
            fault("the database was marked out of reach");
        if (context->database().inTransaction())
            fault("a transaction was left open");
        // The operator's log is not what is fuzzed: emptied, so an input allocates no more than it frees.
        context->ui().clearLog();
    }

    void connectionTest()
    {
        if (exchange(ConnectionTest.chopped(1), "\r") != "TestOK|\r")
            fault("the connection test over a new connection was not answered");
        if (core->wsServer().connectionsInUse() != 0)
            fault("a connection was left open");
        checkServing();
    }

    QTemporaryDir dir;
    std::unique_ptr<ServerContext> context;
    std::unique_ptr<ServerCore> core;
    std::unique_ptr<HandheldServices> services;
    std::unique_ptr<RecordingLink> link;
    sockaddr_in address{};
    int requests = 0;
    int slot = 0;
};

} // namespace

// Freed memory stays poisoned for the next 64 MB of frees (hundreds of orders here) instead of
// 256 MB: a use after free within a request or across the next ones is still caught, and a
// request's allocations reuse memory still in the cache instead of touching cold pages.
extern "C" const char *__asan_default_options()
{
    return "quarantine_size_mb=64";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Server *server = [] {
        fuzz::initialise();
        auto *s = new Server;
        s->connectionTest();
        return s;
    }();
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!bytes.contains('\r'))
        bytes += '\r';
    const qsizetype half = bytes.size() / 2;
    if (qChecksum(bytes) % SocketEvery == 0) {
        server->exchange(bytes.left(half), bytes.mid(half));
        server->connectionTest();
    } else {
        server->feed(bytes.left(half), bytes.mid(half));
        server->checkServing();
    }
    return 0;
}
