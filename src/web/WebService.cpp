// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebService.h"

#include "frmStampeDocumenti.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QDateTime>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTime>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>

#include <utility>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcWeb, "pliko.web")

// The page's files live in this static library: its resources are registered by hand.
static void registraRisorse()
{
    Q_INIT_RESOURCE(web);
}

namespace {
// Bounds that keep one browser, or someone who is not one, from taking the server's memory or
// its connections: our requests are a page, a script, a style sheet and a few small JSON bodies.
constexpr qint64 MaxRichiesta = 32 * 1024; // head and body, as buffered
constexpr qsizetype MaxCorpo = 4096;
constexpr qsizetype MaxConnessioni = 64;
constexpr int ScadenzaMs = 20000; // an HTTP connection idle (or a request unfinished) this long is dropped
constexpr qint64 MaxInAttesa = 1024 * 1024; // a screen that stopped reading its socket is dropped
constexpr int StatoMs = 2000; // the console's status while a console is open
constexpr int MaxEventi = 200;
constexpr int PushMs = 50;
const QByteArray NomeCookie = "pliko_web";

// A listening socket that refuses connections beyond the limit and tells of each one it accepts.
template <class Base> class Limitato : public Base
{
public:
    std::function<bool()> pieno;
    std::function<void(QTcpSocket *)> accolto;

    QTcpSocket *nextPendingConnection() override
    {
        QTcpSocket *s = Base::nextPendingConnection();
        if (s && accolto)
            accolto(s);
        return s;
    }

protected:
    void incomingConnection(qintptr fd) override
    {
        if (pieno && pieno()) {
            QTcpSocket rifiutato;
            rifiutato.setSocketDescriptor(fd);
            rifiutato.abort();
            return;
        }
        Base::incomingConnection(fd);
    }
};

QByteArray header(const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &nome)
{
    for (const auto &h : headers)
        if (h.first.compare(nome, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

QByteArray risorsa(const QString &nome)
{
    QFile f(u":/web/"_s + nome);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray json(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// A moment to the millisecond: bumps a second apart (a bump bar is quick) keep their order, so
// "Richiama" finds the last one.
double momentoPreciso()
{
    const QDateTime now = tipi::now();
    return double(tipi::dayNumber(now.date())) * 86400.0 + now.time().msecsSinceStartOfDay() / 1000.0;
}

// Equal in constant time: how long the comparison takes says nothing of how much of a guess matched.
bool uguali(const QByteArray &a, const QByteArray &b)
{
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}
} // namespace

struct WebService::Risposta
{
    QHttpServerResponder::StatusCode stato = QHttpServerResponder::StatusCode::Ok;
    QByteArray tipo = "application/json";
    QByteArray corpo;
    QList<QPair<QByteArray, QByteArray>> extra;
};

WebService::WebService(WebOptions options, KitchenBoardStore *store, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_opt(std::move(options))
{
    registraRisorse();
    QList<qint32> zone;
    for (const QString &z : m_opt.zones)
        zone.append(WebOptions::zoneNumber(z));
    m_board = KitchenBoard(zone);
    // Both sides hash the key the same way, so the comparison is over equal-length digests.
    m_token
        = QMessageAuthenticationCode::hash("pliko-web-cookie", m_opt.key.toUtf8(), QCryptographicHash::Sha256).toHex();
    if (store) {
        connect(this, &WebService::chiediCarica, store, &KitchenBoardStore::carica, Qt::QueuedConnection);
        connect(this, &WebService::chiediComanda, store, &KitchenBoardStore::leggiComanda, Qt::QueuedConnection);
        connect(this, &WebService::chiediPronta, store, &KitchenBoardStore::segnaPronta, Qt::QueuedConnection);
        connect(this, &WebService::chiediRichiamo, store, &KitchenBoardStore::richiama, Qt::QueuedConnection);
        connect(store, &KitchenBoardStore::caricati, this, &WebService::onCaricati);
        connect(store, &KitchenBoardStore::letti, this, &WebService::onLetti);
        connect(store, &KitchenBoardStore::pronta, this, &WebService::onPronta);
        connect(store, &KitchenBoardStore::richiamato, this, &WebService::onRichiamato);
    }
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &WebService::nuovoWebSocket);
    m_invio = new QTimer(this);
    m_invio->setSingleShot(true);
    m_invio->setInterval(PushMs);
    connect(m_invio, &QTimer::timeout, this, &WebService::inviaZone);
    auto *timer = new QTimer(this);
    timer->setInterval(StatoMs);
    connect(timer, &QTimer::timeout, this, [this] {
        if (std::any_of(m_schermi.cbegin(), m_schermi.cend(), [](const Schermo &s) { return s.ws && s.zona == 0; }))
            aggiornaStato();
    });
    timer->start();
}

WebService::~WebService()
{
    // A socket closed here may report it at once: the list is taken first.
    const QList<Schermo> schermi = std::exchange(m_schermi, {});
    for (const Schermo &s : schermi)
        delete s.ws.data();
}

bool WebService::avvia(QString *error)
{
    QTcpServer *server = nullptr;
    auto limita = [this](auto *s) {
        s->pieno = [this] {
            m_connessioni.removeIf(
                [](const QPointer<QTcpSocket> &c) { return !c || c->state() == QAbstractSocket::UnconnectedState; });
            return m_connessioni.size() >= MaxConnessioni;
        };
        s->accolto = [this](QTcpSocket *socket) { nuovaConnessione(socket); };
    };
    if (!m_opt.certificate.isEmpty()) {
        const auto certificati = QSslCertificate::fromPath(m_opt.certificate, QSsl::Pem);
        QFile f(m_opt.privateKey);
        const QByteArray pem = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        QSslKey chiave(pem, QSsl::Rsa, QSsl::Pem);
        if (chiave.isNull())
            chiave = QSslKey(pem, QSsl::Ec, QSsl::Pem);
        if (certificati.isEmpty() || chiave.isNull()) {
            *error = u"certificato o chiave privata illeggibili ("_s + m_opt.certificate + u", "_s + m_opt.privateKey
                + u')';
            return false;
        }
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.setLocalCertificateChain(certificati);
        conf.setPrivateKey(chiave);
        auto *s = new Limitato<QSslServer>;
        s->setSslConfiguration(conf);
        limita(s);
        // A connection is the HTTP server's once its handshake is done.
        connect(s, &QTcpServer::pendingConnectionAvailable, s, &QTcpServer::newConnection);
        server = s;
    } else {
        auto *s = new Limitato<QTcpServer>;
        limita(s);
        server = s;
    }
    if (!server->listen(m_opt.address, m_opt.port)) {
        *error = m_opt.address.toString() + u':' + QString::number(m_opt.port) + u": "_s + server->errorString();
        delete server;
        return false;
    }
    bind(server);
    m_porta = server->serverPort();
    emit chiediCarica(m_board.zone());
    qCInfo(lcWeb).noquote() << "schermi di cucina e console su"
                            << (m_opt.certificate.isEmpty() ? u"http://"_s : u"https://"_s) + m_opt.address.toString()
            + u':' + QString::number(m_porta);
    return true;
}

void WebService::nuovaConnessione(QTcpSocket *socket)
{
    m_connessioni.append(socket);
    socket->setReadBufferSize(MaxRichiesta);
    auto *scadenza = new QTimer(socket);
    scadenza->setObjectName(u"scadenza"_s);
    scadenza->setSingleShot(true);
    connect(scadenza, &QTimer::timeout, socket, [socket] {
        if (!socket->property("websocket").toBool())
            socket->abort();
    });
    scadenza->start(ScadenzaMs);
}

bool WebService::chiaveValida(const QByteArray &presentata) const
{
    const QByteArray h
        = QMessageAuthenticationCode::hash("pliko-web-cookie", presentata, QCryptographicHash::Sha256).toHex();
    return !m_opt.key.isEmpty() && uguali(h, m_token);
}

bool WebService::cookieValido(const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    bool ok = false;
    for (const auto &h : headers) {
        if (h.first.compare("cookie", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray &parte : h.second.split(';')) {
            const QByteArray p = parte.trimmed();
            if (p.startsWith(QByteArray(NomeCookie + "=")))
                ok = uguali(p.mid(NomeCookie.size() + 1), m_token) || ok;
        }
    }
    return ok;
}

bool WebService::origineValida(const QByteArray &origin, const QByteArray &host) const
{
    // An action comes from our own page: its Origin is this server as the browser reached it.
    if (origin.isEmpty() || host.isEmpty())
        return false;
    const QByteArray schema = m_opt.certificate.isEmpty() ? "http://" : "https://";
    return origin == schema + host;
}

bool WebService::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (auto *scadenza = socket->findChild<QTimer *>(u"scadenza"_s))
        scadenza->start(ScadenzaMs);
    // A WebSocket handshake is answered by the socket server that takes the connection over after
    // this returns (the key is checked there): nothing may be written here.
    if (header(request.headers(), "upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
        if (request.url().path() != u"/ws"_s)
            socket->abort();
        return true;
    }
    Risposta r = rispondi(request, qobject_cast<QSslSocket *>(socket) != nullptr);
    QHttpServerResponder out = makeResponder(request, socket);
    out.writeStatusLine(r.stato);
    out.writeHeader("Content-Type", r.tipo);
    out.writeHeader("Content-Length", QByteArray::number(r.corpo.size()));
    out.writeHeader("Content-Security-Policy",
        "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
        "base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    out.writeHeader("X-Content-Type-Options", "nosniff");
    out.writeHeader("X-Frame-Options", "DENY");
    out.writeHeader("Referrer-Policy", "no-referrer");
    out.writeHeader("Cache-Control", "no-store");
    for (const auto &h : std::as_const(r.extra))
        out.writeHeader(h.first, h.second);
    out.writeBody(r.corpo);
    return true;
}

void WebService::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    socket->abort();
}

WebService::Risposta WebService::rispondi(const QHttpServerRequest &request, bool tls)
{
    using S = QHttpServerResponder::StatusCode;
    auto testo = [](S stato, const QByteArray &corpo) {
        return Risposta { stato, "text/plain; charset=utf-8", corpo, {} };
    };
    if (request.body().size() > MaxCorpo)
        return testo(S::PayloadTooLarge, "Richiesta troppo grande\n");
    const QString path = request.url().path();
    const QUrlQuery query = request.query();
    if (query.hasQueryItem(u"key"_s)) {
        // The key in the address once: kept in a cookie the page's scripts cannot read, and taken
        // off the address so that it stays out of the history and off the screen.
        if (!chiaveValida(query.queryItemValue(u"key"_s, QUrl::FullyDecoded).toUtf8()))
            return testo(S::Unauthorized, "Chiave mancante o non valida\n");
        Risposta r = testo(S::SeeOther, {});
        r.extra.append({ "Set-Cookie",
            QByteArray(NomeCookie + '=' + m_token + "; Path=/; HttpOnly; SameSite=Strict") + (tls ? "; Secure" : "") });
        r.extra.append({ "Location", QUrl(path).toEncoded(QUrl::FullyEncoded) });
        return r;
    }
    const auto headers = request.headers();
    if (!cookieValido(headers))
        return testo(S::Unauthorized, "Chiave mancante o non valida\n");
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    if (post && !origineValida(header(headers, "origin"), header(headers, "host")))
        return testo(S::Forbidden, "Origine non ammessa\n");
    if (path.startsWith(u"/api/"_s))
        return api(request, path);
    if (post || request.method() != QHttpServerRequest::Method::Get)
        return testo(S::MethodNotAllowed, "Metodo non ammesso\n");
    if (path == u"/app.js"_s)
        return { S::Ok, "text/javascript; charset=utf-8", risorsa(u"app.js"_s), {} };
    if (path == u"/app.css"_s)
        return { S::Ok, "text/css; charset=utf-8", risorsa(u"app.css"_s), {} };
    if (path == u"/"_s || (path.startsWith(u"/kds/"_s) && m_opt.zones.contains(path.mid(5))))
        return { S::Ok, "text/html; charset=utf-8", risorsa(u"index.html"_s), {} };
    return testo(S::NotFound, "Pagina non trovata\n");
}

WebService::Risposta WebService::api(const QHttpServerRequest &request, const QString &path)
{
    using S = QHttpServerResponder::StatusCode;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    const QJsonObject corpo = QJsonDocument::fromJson(request.body()).object();
    auto esito = [](S stato, bool ok, const QString &messaggio = {}) {
        return Risposta { stato, "application/json", json({ { u"ok"_s, ok }, { u"messaggio"_s, messaggio } }), {} };
    };
    const QStringList parti = path.split(u'/', Qt::SkipEmptyParts); // api, kds, <zone>[, action]
    if (parti.value(1) == u"kds"_s && m_opt.zones.contains(parti.value(2))) {
        const qint32 zona = WebOptions::zoneNumber(parti.value(2));
        if (!post && parti.size() == 3) {
            QJsonObject o = m_board.zonaJson(zona, modPlikoServer::momentoAttuale());
            o.insert(u"avviso"_s, m_opt.warnMinutes);
            o.insert(u"allarme"_s, m_opt.alarmMinutes);
            return { S::Ok, "application/json", json(o), {} };
        }
        if (post && parti.value(3) == u"fatto"_s) {
            const qint32 id = corpo.value(u"id"_s).toInt();
            const auto b = m_board.trova(zona, id);
            if (!b)
                return esito(S::NotFound, false, u"scheda non più sullo schermo"_s);
            if (!m_inUscita.contains(id)) {
                m_inUscita.insert(id, *b);
                emit chiediPronta(id, momentoPreciso());
            }
            return esito(S::Accepted, true);
        }
        if (post && parti.value(3) == u"richiama"_s) {
            emit chiediRichiamo(zona);
            return esito(S::Accepted, true);
        }
    }
    if (!post && path == u"/api/console"_s) {
        aggiornaStato();
        return { S::Ok, "application/json", consoleJson(), {} };
    }
    if (post && path == u"/api/ristampa"_s) {
        const qint32 comanda = corpo.value(u"comanda"_s).toInt();
        const QString zona = corpo.value(u"zona"_s).toString();
        if (comanda <= 0 || (!zona.isEmpty() && WebOptions::zoneNumber(zona) == 0) || !m_comando)
            return esito(S::BadRequest, false, u"comanda o zona non valida"_s);
        const QString riga = u"reprint "_s + QString::number(comanda) + (zona.isEmpty() ? QString() : u' ' + zona);
        evento(u"console: ristampa della comanda "_s + QString::number(comanda) + u' ' + zona);
        m_comando(riga, [this](bool, const QStringList &righe) {
            for (const QString &r : righe)
                evento(r);
            aggiornaStato();
        });
        return esito(S::Accepted, true);
    }
    return esito(S::NotFound, false, u"richiesta sconosciuta"_s);
}

void WebService::nuovoWebSocket()
{
    while (hasPendingWebSocketConnections()) {
        QWebSocket *ws = nextPendingWebSocketConnection().release();
        if (!ws)
            break;
        ws->setParent(this);
        const QNetworkRequest handshake = ws->request();
        QList<QPair<QByteArray, QByteArray>> headers;
        for (const QByteArray &nome : handshake.rawHeaderList())
            headers.append({ nome, handshake.rawHeader(nome) });
        const QString zonaNome = QUrlQuery(ws->requestUrl()).queryItemValue(u"zona"_s);
        const bool ok = cookieValido(headers) && origineValida(ws->origin().toUtf8(), header(headers, "host"))
            && (zonaNome.isEmpty() || m_opt.zones.contains(zonaNome));
        if (!ok) {
            qCWarning(lcWeb).noquote() << "collegamento di" << ws->peerAddress().toString()
                                       << "rifiutato: chiave, origine o zona non valida";
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated, u"chiave o origine non valida"_s);
            ws->deleteLater();
            continue;
        }
        // Its connection is a screen's now, open as long as the screen is.
        for (const auto &c : std::as_const(m_connessioni))
            if (c && c->peerPort() == ws->peerPort() && c->peerAddress() == ws->peerAddress())
                c->setProperty("websocket", true);
        ws->setMaxAllowedIncomingFrameSize(1024);
        ws->setMaxAllowedIncomingMessageSize(1024);
        const qint32 zona = zonaNome.isEmpty() ? 0 : WebOptions::zoneNumber(zonaNome);
        // Screens that went are dropped from the list here, never while a push walks it (a socket
        // aborted during a push reports its end at once).
        m_schermi.removeIf([](const Schermo &s) { return !s.ws; });
        m_schermi.append({ ws, zona });
        connect(ws, &QWebSocket::disconnected, ws, &QObject::deleteLater);
        if (zona != 0)
            invia(ws, json(m_board.zonaJson(zona, modPlikoServer::momentoAttuale())));
        else
            invia(ws, consoleJson());
    }
}

void WebService::invia(QWebSocket *ws, const QByteArray &testo)
{
    if (!ws || ws->state() != QAbstractSocket::ConnectedState)
        return;
    if (ws->bytesToWrite() > MaxInAttesa) {
        qCWarning(lcWeb).noquote() << "schermo" << ws->peerAddress().toString() << "non legge: disconnesso";
        ws->abort();
        return;
    }
    ws->sendTextMessage(QString::fromUtf8(testo));
}

void WebService::inviaZona(qint32 zona)
{
    // Changes that come together (a rush of rounds) go out as one state per zone, at most every
    // PushMs: each screen gets the whole zone anyway, and a rush must not cost a push per round.
    m_daInviare.insert(zona);
    if (!m_invio->isActive())
        m_invio->start();
}

void WebService::inviaZone()
{
    const double adesso = modPlikoServer::momentoAttuale();
    for (const qint32 zona : std::exchange(m_daInviare, {})) {
        QByteArray testo;
        for (const Schermo &s : std::as_const(m_schermi)) {
            if (!s.ws || s.zona != zona)
                continue;
            if (testo.isEmpty())
                testo = json(m_board.zonaJson(zona, adesso));
            invia(s.ws, testo);
        }
    }
}

void WebService::inviaConsole()
{
    QByteArray testo;
    for (const Schermo &s : std::as_const(m_schermi)) {
        if (!s.ws || s.zona != 0)
            continue;
        if (testo.isEmpty())
            testo = consoleJson();
        invia(s.ws, testo);
    }
}

QByteArray WebService::consoleJson()
{
    // The owed tickets as pliko-ctl tickets lists them, with what the reprint button needs.
    static const QRegularExpression riga(u"^comanda (\\d+) .* zona (\\S+) "_s);
    QJsonArray biglietti;
    for (const QString &b : std::as_const(m_biglietti)) {
        const auto m = riga.match(b);
        biglietti.append(QJsonObject { { u"riga"_s, b }, { u"comanda"_s, m.hasMatch() ? m.captured(1).toInt() : 0 },
            { u"zona"_s, m.hasMatch() ? m.captured(2) : QString() } });
    }
    return json({ { u"tipo"_s, u"console"_s }, { u"stato"_s, QJsonArray::fromStringList(m_stato) },
        { u"biglietti"_s, biglietti }, { u"tempi"_s, m_board.tempiJson() },
        { u"schermi"_s, QJsonArray::fromStringList(m_opt.zones) },
        { u"eventi"_s, QJsonArray::fromStringList(m_eventi.mid(0, 50)) } });
}

void WebService::aggiornaStato()
{
    if (!m_comando || m_statoInCorso)
        return;
    m_statoInCorso = true;
    m_comando(u"status"_s, [this](bool, const QStringList &stato) {
        m_stato = stato;
        m_comando(u"tickets"_s, [this](bool, const QStringList &biglietti) {
            m_biglietti = biglietti;
            m_biglietti.removeAll(u"nessuna comanda da stampare"_s);
            m_statoInCorso = false;
            inviaConsole();
        });
    });
}

void WebService::evento(const QString &riga)
{
    m_eventi.prepend(QTime::currentTime().toString(u"HH:mm:ss"_s) + u"  "_s + riga.left(500));
    if (m_eventi.size() > MaxEventi)
        m_eventi.resize(MaxEventi);
    const QByteArray testo = json({ { u"tipo"_s, u"evento"_s }, { u"riga"_s, m_eventi.first() } });
    for (const Schermo &s : std::as_const(m_schermi))
        if (s.ws && s.zona == 0)
            invia(s.ws, testo);
}

void WebService::nuoviBiglietti(qint32 comanda)
{
    if (!m_board.zone().isEmpty())
        emit chiediComanda(comanda);
}

void WebService::onCaricati(const KitchenBoardStore::Biglietti &daFare, const KitchenBoardStore::Biglietti &fatti)
{
    m_board.tempiDelGiorno(fatti);
    for (qint32 zona : m_board.aggiungi(daFare))
        inviaZona(zona);
}

void WebService::onLetti(const KitchenBoardStore::Biglietti &biglietti)
{
    KitchenBoardStore::Biglietti nuovi;
    for (const auto &b : biglietti)
        if (!m_inUscita.contains(b.id))
            nuovi.append(b);
    for (qint32 zona : m_board.aggiungi(nuovi))
        inviaZona(zona);
}

void WebService::onPronta(qint32 id, double momento, bool ok)
{
    const auto b = m_inUscita.take(id);
    if (!ok) {
        evento(u"\"Fatto\" della comanda "_s + QString::number(b.comanda)
            + u" non registrato: database non disponibile"_s);
        inviaZona(b.zona);
        return;
    }
    const auto zona = m_board.togli(id);
    if (!zona)
        return;
    const double secondi = momento - b.creata;
    m_board.tempoPronto(*zona, secondi);
    emit bigliettoPronto(*zona, secondi);
    inviaZona(*zona);
}

void WebService::onRichiamato(const KitchenBoardStore::Biglietti &biglietti)
{
    for (qint32 zona : m_board.aggiungi(biglietti))
        inviaZona(zona);
}
