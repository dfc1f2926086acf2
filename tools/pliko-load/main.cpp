// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-load: N simulated handhelds against a server for a fixed time. Each one connects, sends a
// request, reads the reply until the server closes the connection, and starts again; the run
// reports requests per second and the p50/p99/max latency of a whole exchange.

#include "../ToolHelp.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The number of the last order sent: its opening moment is 3919435200 seconds plus that number.
// Two loads against servers sharing a database start at numbers of their own (--first-order).
qint64 sequence = 0;

// A new order of `lines` restaurant dishes (no stock check), opened at a moment of its own, so
// that every request records a whole order.
QByteArray newOrder(int lines, int waiter)
{
    const qint64 inizio = 3919435200LL + ++sequence;
    QByteArray text = "PALM" + QByteArray::number(waiter) + "|Comanda|" + QByteArray::number(inizio) + "|"
        + QByteArray::number(1 + sequence % 20) + "|2|" + QByteArray::number(1 + waiter % 4) + "|4,00|0;";
    for (int l = 0; l < lines; ++l)
        text += "M|" + QByteArray::number(101 + l % 40) + "|1|9,50|" + QByteArray::number(1 + l % 3) + "|x|0|0;";
    return text + '\r';
}

struct Totals
{
    std::vector<qint64> latenciesNs;
    qint64 errors = 0;
    qint64 unexpected = 0;
};

class SimulatedHandheld : public QObject
{
public:
    SimulatedHandheld(QString host, quint16 port, QList<QByteArray> requests, QByteArray expect, Totals &totals,
                      const QElapsedTimer &clock, qint64 endNs, int offset)
        : m_host(std::move(host)), m_port(port), m_requests(std::move(requests)), m_expect(std::move(expect)),
          m_totals(totals), m_clock(clock), m_endNs(endNs), m_next(offset)
    {
    }

    void start()
    {
        if (m_clock.nsecsElapsed() >= m_endNs) {
            m_done = true;
            return;
        }
        m_reply.clear();
        m_ok = false;
        m_started = m_clock.nsecsElapsed();
        m_socket = new QTcpSocket(this);
        const QByteArray request = m_orderLines > 0 ? newOrder(m_orderLines, m_next)
                                                    : m_requests.at(m_next++ % m_requests.size());
        connect(m_socket, &QTcpSocket::connected, this, [this, request] { m_socket->write(request); });
        connect(m_socket, &QTcpSocket::readyRead, this, [this] { m_reply += m_socket->readAll(); });
        connect(m_socket, &QTcpSocket::disconnected, this, [this] { finish(true); });
        connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
            if (e != QAbstractSocket::RemoteHostClosedError)
                finish(false);
        });
        m_socket->connectToHost(m_host, m_port);
    }
    bool isDone() const { return m_done; }
    void setOrderLines(int lines) { m_orderLines = lines; }

private:
    void finish(bool closed)
    {
        if (!m_socket)
            return;
        QTcpSocket *s = m_socket;
        m_socket = nullptr;
        s->disconnect(this);
        s->abort();
        s->deleteLater();
        if (closed && !m_reply.isEmpty()) {
            m_totals.latenciesNs.push_back(m_clock.nsecsElapsed() - m_started);
            if (!m_expect.isEmpty() && !m_reply.startsWith(m_expect))
                ++m_totals.unexpected;
        } else {
            ++m_totals.errors;
        }
        QTimer::singleShot(0, this, [this] { start(); });
    }

    QString m_host;
    quint16 m_port;
    QList<QByteArray> m_requests;
    int m_orderLines = 0;
    QByteArray m_expect;
    Totals &m_totals;
    const QElapsedTimer &m_clock;
    qint64 m_endNs;
    int m_next;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_reply;
    qint64 m_started = 0;
    bool m_ok = false;
    bool m_done = false;
};

double percentileMs(std::vector<qint64> &values, double p)
{
    if (values.empty())
        return 0;
    const auto k = std::size_t(p * double(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    return double(values[k]) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"pliko-load"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIKO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Generatore di carico di palmari per plikoserver."_s);
    const QCommandLineOption helpOption = tools::addItalianHelp(app, parser);
    const QCommandLineOption hostOpt(
        u"host"_s, u"Indirizzo del server (predefinito 127.0.0.1)."_s, u"HOST"_s, u"127.0.0.1"_s);
    const QCommandLineOption portOpt(u"port"_s, u"Porta del server (predefinita 31512)."_s, u"PORTA"_s, u"31512"_s);
    const QCommandLineOption clientsOpt(u"clients"_s, u"Palmari contemporanei (predefinito 50)."_s, u"N"_s, u"50"_s);
    const QCommandLineOption durationOpt(u"duration"_s, u"Secondi di prova (predefinito 10)."_s, u"SECONDI"_s, u"10"_s);
    const QCommandLineOption requestOpt(u"request"_s,
        u"Testo della richiesta senza il ritorno a capo; ripetuto per alternare più richieste "
        "(predefinito PALM01|TestConnessione|)."_s,
        u"TESTO"_s);
    const QCommandLineOption expectOpt(u"expect"_s,
        u"Inizio della risposta contato come corretto (predefinito: qualsiasi risposta)."_s, u"PREFISSO"_s);
    const QCommandLineOption ordersOpt(u"order-lines"_s,
        u"Invia nuove comande di N righe invece del testo della richiesta (\"Comanda\")."_s, u"N"_s, u"0"_s);
    const QCommandLineOption firstOpt(u"first-order"_s,
        u"Numera le nuove comande da N + 1 (predefinito 0): i carichi inviati a server che"
        " condividono un database vogliono intervalli distinti."_s,
        u"N"_s, u"0"_s);
    parser.addOptions({hostOpt, portOpt, clientsOpt, durationOpt, requestOpt, expectOpt, ordersOpt, firstOpt});
    parser.process(app);
    tools::showHelpIfAsked(parser, helpOption);
    sequence = std::max(0LL, parser.value(firstOpt).toLongLong());

    const int clients = std::max(1, parser.value(clientsOpt).toInt());
    const double seconds = std::max(0.1, parser.value(durationOpt).toDouble());
    QList<QByteArray> requests;
    for (const QString &r : parser.values(requestOpt))
        requests.append(r.toLatin1() + '\r');
    if (requests.isEmpty())
        requests.append(QByteArrayLiteral("PALM01|TestConnessione|\r"));

    Totals totals;
    totals.latenciesNs.reserve(1 << 20);
    QElapsedTimer clock;
    clock.start();
    const auto endNs = qint64(seconds * 1e9);
    std::vector<std::unique_ptr<SimulatedHandheld>> handhelds;
    for (int i = 0; i < clients; ++i) {
        handhelds.push_back(std::make_unique<SimulatedHandheld>(parser.value(hostOpt),
                                                                quint16(parser.value(portOpt).toUInt()), requests,
                                                                parser.value(expectOpt).toLatin1(), totals, clock,
                                                                endNs, i));
        handhelds.back()->setOrderLines(parser.value(ordersOpt).toInt());
        handhelds.back()->start();
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (std::all_of(handhelds.begin(), handhelds.end(), [](const auto &h) { return h->isDone(); }))
            app.quit();
    });
    poll.start(20);
    app.exec();

    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    const auto done = qint64(totals.latenciesNs.size());
    const double p50 = percentileMs(totals.latenciesNs, 0.50);
    const double p99 = percentileMs(totals.latenciesNs, 0.99);
    const double slowest = percentileMs(totals.latenciesNs, 1.0);
    std::printf("clients=%d duration=%.1fs requests=%lld errors=%lld unexpected=%lld rps=%.0f p50=%.3fms p99=%.3fms"
                " max=%.3fms\n",
                clients, elapsed, static_cast<long long>(done), static_cast<long long>(totals.errors),
                static_cast<long long>(totals.unexpected), double(done) / elapsed, p50, p99, slowest);
    return totals.errors > 0 && done == 0 ? 1 : 0;
}
