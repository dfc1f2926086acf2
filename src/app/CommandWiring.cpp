// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandWiring.h"

#include "CommandDispatcher.h"
#include "ControlChannel.h"
#include "Guarded.h"
#include "OrderPrinting.h"
#include "OrderRecorder.h"
#include "PrintRequests.h"
#include "ServerContext.h"
#include "SincroReplies.h"
#include "SyncCommands.h"
#include "TestInvioComande.h"
#include "TicketDelivery.h"
#include "TicketRecovery.h"
#include "frmStampeDocumenti.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QDebug>
#include <QThread>
#include <QTimer>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The report window as order handling sees it.
class ReportPrinting final : public OrderPrinting
{
public:
    explicit ReportPrinting(frmStampeDocumenti &report) : m_report(report) {}
    QString stampantePreconto() override
    {
        QString printer;
        qint32 setting = 0;
        return m_report.leggiStampante(7, printer, setting) ? printer : QString();
    }
    void stampaComanda(qint32 idComanda, const QString &tavoli) override { m_report.stampaComanda(idComanda, tavoli); }
    bool soloMarcatura(qint32 idComanda) override { return m_report.soloMarcaturaComanda(idComanda); }
    bool registraComanda(qint32 idComanda, const QString &tavoli) override
    {
        return m_report.registraComanda(idComanda, tavoli);
    }
    void ristampaComanda(qint32 idComanda, const QString &tavoli) override
    {
        m_report.stampaComanda(idComanda, tavoli, true);
    }
    void stampaPreConto(qint32 idComanda, const QString &tavoli) override
    {
        m_report.stampaPreConto(idComanda, tavoli);
    }
    void stampaListaOrdinazioni(qint32 idComanda, const QString &tavoli) override
    {
        m_report.stampaListaOrdinazioni(idComanda, tavoli);
    }
    void stampaMessaggioCucina(qint32 zona, const QString &testo) override
    {
        m_report.stampaMessaggioCucina(zona, testo);
    }
    void stampaResocontoTest(const QStringList &righe) override { m_report.stampaResocontoTest(righe); }

private:
    frmStampeDocumenti &m_report;
};

// Runs `f` on `target`'s thread: in place when already there, queued otherwise.
void suoThread(QObject &target, std::function<void()> f)
{
    if (QThread::currentThread() == target.thread())
        f();
    else
        QMetaObject::invokeMethod(&target, std::move(f), Qt::QueuedConnection);
}

// How long the operator's window or shell waits for the database thread before answering that the
// database is busy.
constexpr std::chrono::seconds OperatorWait{5};

} // namespace

struct HandheldServices::Parts
{
    Parts(ServerContext &c, HandheldLink &link)
        : report(c.database(), c.registry(), &c.ui()), printing(report),
          sincro(c.database(), c.server(), link),
          recorder(c.database(), c.server(), link, &c.ui(), &printing),
          requests(c.database(), c.server(), link, printing),
          test(c.temporaryFolder, &c.ui(), &printing)
    {
    }
    frmStampeDocumenti report;
    ReportPrinting printing;
    SincroReplies sincro;
    OrderRecorder recorder;
    PrintRequests requests;
    TestInvioComande test;
    QTimer riprova; // tickets that did not print are tried again
};

HandheldServices::HandheldServices(CommandDispatcher &dispatcher, ServerContext &context, HandheldLink &link)
    : m_parts(std::make_unique<Parts>(context, link)), m_dispatcher(dispatcher), m_context(context)
{
    Parts &p = *m_parts;
    TicketDelivery &consegna = p.report.consegna();
    consegna.setEsitoBiglietto([&context](qint32, double secondi, bool riserva, bool ok) {
        if (ok)
            context.stats.apply([=](ServerStats &s) { s.ticketPrinted(secondi, riserva); });
        else
            context.stats.apply([](ServerStats &s) { s.ticketFailed(); });
    });
    consegna.setDovute([&context](const QMap<QString, qint64> &perZona) {
        context.stats.apply([perZona](ServerStats &s) { s.setTicketsOwed(perZona); });
    });
    consegna.setAvvisoZona([this](qint32, bool) {
        if (m_avvisoZona)
            m_avvisoZona(m_parts->report.consegna().zoneGuaste());
    });
    avviaRiprova();
    // Every print job says where it went; a failed one says which printer and why.
    p.report.setEsitoStampa([&context](const QString &printer, bool ok, const QString &error) {
        context.stats.apply([=](ServerStats &s) { s.printJob(printer, ok, error); });
        if (ok)
            context.ui().addStatus(u"Stampa inviata a "_s + printer);
        else
            context.ui().addStatus(u"Stampa non riuscita su "_s + printer + u": "_s + error);
    });
    // The order-sending test and its window live on the main thread; the handlers reach it queued.
    p.recorder.setTestLog([&p](const QString &line) { suoThread(p.test, [&p, line] { p.test.riceviComanda(line); }); });
    p.recorder.setRegistrata([&context](qint32 idComanda) {
        context.stats.apply([idComanda](ServerStats &s) { s.setLastOrderKey(idComanda); });
    });
    QObject::connect(&p.test, &TestInvioComande::started, &p.test, [&context] { context.testRunning = true; });
    QObject::connect(&p.test, &TestInvioComande::finished, &p.test, [&context] { context.testRunning = false; });

    dispatcher.registerCommand(u"Preconto"_s, [&p](const HandheldRequest &r) {
        p.requests.stampaPreConto(tipi::toInt16(r.rest), r.index);
    });
    dispatcher.registerCommand(u"ListaOrdini"_s, [&p](const HandheldRequest &r) {
        p.requests.stampaListaOrdinazioni(tipi::toInt16(r.rest), r.index);
    });
    dispatcher.registerCommand(u"NotaLibera"_s, [&p](const HandheldRequest &r) {
        if (!p.requests.notaLibera(r.rest, r.index))
            r.reject(u"nota senza operatore, messaggio e zona"_s);
    });
    dispatcher.registerCommand(u"NotaTavolo"_s, [&p](const HandheldRequest &r) {
        if (!p.requests.notaTavolo(r.rest, r.index))
            r.reject(u"nota senza tavolo, messaggio e zona"_s);
    });
    dispatcher.registerCommand(u"OccupaTavolo"_s, [&p](const HandheldRequest &r) {
        p.requests.occupaTavolo(r.tail, r.index);
    });
    // The order text is read on the network thread, while the database thread serves the requests
    // before it.
    dispatcher.registerPreparer(u"Comanda"_s, [](const QString &rest) {
        auto letta = std::make_shared<LetturaComanda>();
        letta->ok = OrderText::parse(rest, &letta->order, &letta->error);
        return std::any(std::shared_ptr<const LetturaComanda>(std::move(letta)));
    });
    dispatcher.registerCommand(u"Comanda"_s, [&p, &context](const HandheldRequest &r) {
        const auto *letta = std::any_cast<std::shared_ptr<const LetturaComanda>>(&r.prepared);
        const bool recorded = p.recorder.salvaComanda(r.rest, r.index, false, false, letta ? letta->get() : nullptr);
        context.stats.apply([recorded](ServerStats &s) { s.orderRecorded(recorded); });
        if (!recorded)
            r.reject(u"comanda non registrata"_s);
    });
    for (const SyncCommand &c : syncCommands()) {
        dispatcher.registerCommand(c.word, [&p, c](const HandheldRequest &r) {
            if (!c.run(p.sincro, r.tail, r.rest, r.index))
                r.reject(u"argomenti non validi"_s);
        });
    }
    for (const bool scarico : {false, true}) {
        dispatcher.registerCommand(scarico ? u"TestScarico"_s : u"Test"_s, [&p, &context, scarico](
                                                                                const HandheldRequest &r) {
            suoThread(p.test, [&p, &context] {
                if (!p.test.running()) {
                    p.test.setCartellaTemporanea(context.temporaryFolder);
                    p.test.avvia();
                }
            });
            if (!p.recorder.salvaComanda(r.rest, r.index, true, scarico))
                r.reject(u"comanda di prova non registrata"_s);
        });
    }
}

HandheldServices::~HandheldServices() = default;

TestInvioComande &HandheldServices::testInvioComande()
{
    return m_parts->test;
}

void HandheldServices::chiudiTest()
{
    if (m_parts->test.running())
        m_parts->test.chiudi();
}

int HandheldServices::ristampaComandeInSospeso(ServerContext &context)
{
    // Minutes back to look for orders owed a ticket; 0 turns the recovery off.
    constexpr qint64 DefaultMinuti = 15;
    const QString text = context.registry().option(u"RecoverTicketsMinutes"_s);
    qint64 minuti = DefaultMinuti;
    if (!text.isEmpty() && (!tipi::parseWhole(text, &minuti) || minuti < 0)) {
        qWarning().noquote() << "RecoverTicketsMinutes non valido:" << text << "- uso" << DefaultMinuti;
        minuti = DefaultMinuti;
    }
    clsDatabase &db = context.database();
    if (!db.openDB(context.databasePath))
        return 0;
    // The journal first (always): tickets a stop left sent or owed. Then, within the minutes, the
    // lines that a stop before their tickets were journalled left unprinted.
    int n = m_parts->report.consegna().recupera();
    if (minuti > 0) {
        TicketRecovery recovery(db, context.server(), m_parts->printing, &context.ui());
        n += recovery.ristampa(qint32(std::min<qint64>(minuti, 7 * 24 * 60)));
    }
    db.closeDB();
    return n;
}

namespace {
// A whole number of seconds from an option, its default when unset or unreadable.
qint64 secondi(ServerContext &context, const QString &option, qint64 predefinito)
{
    const QString text = context.registry().option(option);
    qint64 n = predefinito;
    if (!text.isEmpty() && (!tipi::parseWhole(text, &n) || n < 0)) {
        qWarning().noquote() << option << "non valido:" << text << "- uso" << predefinito;
        n = predefinito;
    }
    return std::min<qint64>(n, 24 * 3600);
}

qint32 zonaDaNome(const QString &text)
{
    for (qint32 z : {1, 2, 3, 4})
        if (text.compare(frmStampeDocumenti::nomeTipoStampante(z), Qt::CaseInsensitive) == 0
            || text == QString::number(z))
            return z;
    return 0;
}
} // namespace

void HandheldServices::avviaRiprova()
{
    QTimer &t = m_parts->riprova;
    // Every TicketRetrySeconds (20; 0: off), or sooner when a backup printer waits on FailoverSeconds.
    qint64 intervallo = secondi(m_context, u"TicketRetrySeconds"_s, 20);
    const qint64 failover = m_parts->report.consegna().secondiFailover();
    bool riserva = false;
    for (qint32 z : {1, 2, 3, 4})
        riserva = riserva || !m_parts->report.consegna().stampanteRiserva(z).isEmpty();
    if (riserva && failover > 0)
        intervallo = intervallo > 0 ? std::min(intervallo, failover) : failover;
    if (intervallo <= 0)
        return;
    t.setInterval(int(intervallo * 1000));
    QObject::connect(&t, &QTimer::timeout, &t, [this] {
        if (m_context.runOnDatabase)
            m_context.runOnDatabase([this] { riprovaOra(); });
        else
            riprovaOra();
    });
    t.start();
}

int HandheldServices::riprovaOra()
{
    int n = 0;
    const bool held = m_dispatcher.hold();
    if (held) {
        diagnostics::runGuarded("frmStampeDocumenti", "riprova", diagnostics::Where::Outside, [&] {
            TicketDelivery &c = m_parts->report.consegna();
            n = c.riprova();
        });
    }
    m_dispatcher.release(held);
    return n;
}

bool HandheldServices::sulDatabase(const std::function<void()> &job)
{
    if (!m_context.callOnDatabase) {
        job();
        return true;
    }
    return m_context.callOnDatabase(job, OperatorWait);
}

std::optional<QList<TicketJournal::Biglietto>> HandheldServices::daStampare()
{
    // Shared with the work, which may finish after this has given up waiting.
    auto out = std::make_shared<std::optional<QList<TicketJournal::Biglietto>>>();
    const bool done = sulDatabase([this, out] {
        const bool held = m_dispatcher.hold();
        if (held)
            *out = m_parts->report.consegna().journal().daStampare();
        m_dispatcher.release(held);
    });
    return done ? *out : std::nullopt;
}

std::optional<int> HandheldServices::ristampa(qint32 comanda, std::optional<qint32> zona)
{
    auto n = std::make_shared<std::optional<int>>();
    const bool done = sulDatabase([this, n, comanda, zona] {
        const bool held = m_dispatcher.hold();
        if (held) {
            TicketDelivery &c = m_parts->report.consegna();
            *n = c.ristampa(comanda, zona);
        }
        m_dispatcher.release(held);
    });
    return done ? *n : std::nullopt;
}

TicketDelivery &HandheldServices::consegna()
{
    return m_parts->report.consegna();
}

int HandheldServices::secondiFailover()
{
    return m_parts->report.consegna().secondiFailover();
}

void HandheldServices::registraComandi(ControlChannel &channel)
{
    channel.registerCommand(u"tickets"_s, u"tickets"_s, [this](const QStringList &) {
        ControlChannel::Reply r;
        const auto biglietti = daStampare();
        if (!biglietti)
            return ControlChannel::Reply{false, {u"Database non disponibile"_s}};
        const double adesso = modPlikoServer::momentoAttuale();
        const int failover = secondiFailover();
        for (const auto &b : *biglietti) {
            const qint64 eta = qint64(adesso - b.creata);
            r.lines << u"comanda %1 tavolo %2 zona %3 stampante %4 attesa %5 s tentativi %6%7"_s.arg(b.comanda)
                           .arg(b.tavoli, frmStampeDocumenti::nomeTipoStampante(b.zona), b.stampante)
                           .arg(eta)
                           .arg(b.tentativi)
                           .arg(b.errore.isEmpty() ? QString() : u" errore: "_s + b.errore);
            if (eta > failover)
                r.status = 3;
        }
        if (r.lines.isEmpty())
            r.lines << u"nessuna comanda da stampare"_s;
        return r;
    });
    channel.registerCommand(u"reprint"_s, u"reprint ORDER [ZONE]"_s, [this](const QStringList &args) {
        bool ok = false;
        const qint32 comanda = args.value(0).toInt(&ok);
        if (!ok || args.size() > 2)
            return ControlChannel::Reply{false, {u"uso: reprint ORDER [cucina|bar|pizzeria|cassa]"_s}};
        std::optional<qint32> zona;
        if (args.size() == 2) {
            zona = zonaDaNome(args[1]);
            if (*zona == 0)
                return ControlChannel::Reply{false, {u"zona sconosciuta: "_s + args[1]}};
        }
        const std::optional<int> n = ristampa(comanda, zona);
        if (!n)
            return ControlChannel::Reply{false, {u"Database non disponibile"_s}};
        if (*n < 0)
            return ControlChannel::Reply{false, {u"comanda "_s + QString::number(comanda) + u" sconosciuta"_s
                                                 + (zona ? u" per la zona "_s + args[1] : QString())}};
        return ControlChannel::Reply{true, {u"ristampate "_s + QString::number(*n) + u" comande"_s}};
    });
}

void HandheldServices::setSceltaStampante(std::function<bool(QString &)> choose)
{
    m_parts->report.setSceltaStampante(std::move(choose));
}
