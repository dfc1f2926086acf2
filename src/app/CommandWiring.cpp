// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandWiring.h"

#include "CommandDispatcher.h"
#include "OrderPrinting.h"
#include "OrderRecorder.h"
#include "PrintRequests.h"
#include "ServerContext.h"
#include "SincroReplies.h"
#include "SyncCommands.h"
#include "TestInvioComande.h"
#include "TicketRecovery.h"
#include "frmStampeDocumenti.h"
#include "modGestioneTipiDato.h"

#include <QDebug>
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
    bool soloMarcatura() override { return m_report.soloMarcaturaComanda(); }
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
};

HandheldServices::HandheldServices(CommandDispatcher &dispatcher, ServerContext &context, HandheldLink &link)
    : m_parts(std::make_unique<Parts>(context, link))
{
    Parts &p = *m_parts;
    // Every print job says where it went; a failed one says which printer and why.
    p.report.setEsitoStampa([&context](const QString &printer, bool ok, const QString &error) {
        context.stats.printJob(printer, ok, error);
        if (ok)
            context.ui().addStatus(u"Stampa inviata a "_s + printer);
        else
            context.ui().addStatus(u"Stampa non riuscita su "_s + printer + u": "_s + error);
    });
    p.recorder.setTestLog([&p](const QString &line) { p.test.riceviComanda(line); });
    p.recorder.setRegistrata([&context](qint32 idComanda) { context.stats.setLastOrderKey(idComanda); });
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
    dispatcher.registerCommand(u"Comanda"_s, [&p, &context](const HandheldRequest &r) {
        const bool recorded = p.recorder.salvaComanda(r.rest, r.index, false, false);
        context.stats.orderRecorded(recorded);
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
            if (!p.test.running()) {
                p.test.setCartellaTemporanea(context.temporaryFolder);
                p.test.avvia();
            }
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
    if (minuti == 0)
        return 0;
    clsDatabase &db = context.database();
    if (!db.openDB(context.databasePath))
        return 0;
    TicketRecovery recovery(db, context.server(), m_parts->printing, &context.ui());
    const int n = recovery.ristampa(qint32(std::min<qint64>(minuti, 7 * 24 * 60)));
    db.closeDB();
    return n;
}

void HandheldServices::setSceltaStampante(std::function<bool(QString &)> choose)
{
    m_parts->report.setSceltaStampante(std::move(choose));
}
