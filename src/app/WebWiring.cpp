// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebWiring.h"

#include "CommandDispatcher.h"
#include "CommandWiring.h"
#include "ControlChannel.h"
#include "OperatorUi.h"
#include "ServerContext.h"
#include "TicketDelivery.h"
#include "WebService.h"
#include "frmStampeDocumenti.h"

#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcWeb)

WebWiring::WebWiring(
    ServerContext &context, CommandDispatcher &dispatcher, HandheldServices &services, ControlChannel &control)
{
    const WebOptions options = WebOptions::read(context.registry(), nullptr);
    if (!options.enabled())
        return;
    // The journal is read and written on the database thread, as every other use of the database.
    m_store = std::make_unique<KitchenBoardStore>(
        context.database(), [&dispatcher] { return dispatcher.hold(); },
        [&dispatcher](bool held) { dispatcher.release(held); },
        [&context](std::function<void()> lavoro) {
            if (context.runOnDatabase)
                context.runOnDatabase(std::move(lavoro));
            else
                lavoro();
        });
    m_web = std::make_unique<WebService>(options, m_store.get());
    WebService *web = m_web.get();
    // Told on the database thread; the screens live on the network thread.
    services.consegna().setNuoviBiglietti([web](qint32 comanda) {
        QMetaObject::invokeMethod(web, [web, comanda] { web->nuoviBiglietti(comanda); }, Qt::QueuedConnection);
    });
    // The console runs the control channel's own commands: what it shows is what pliko-ctl says.
    web->setComando([&control, &context, web](const QString &riga,
                                              const std::function<void(bool, const QStringList &)> &fatto) {
        // Status and the owed tickets are read-only and asked every few seconds; a reprint is logged.
        const bool lettura = riga == u"status"_s || riga == u"tickets"_s;
        if (riga == u"status"_s || !context.runOnDatabase) {
            const ControlChannel::Reply r = control.run(riga, !lettura);
            fatto(r.ok, r.lines);
            return;
        }
        // The journal's commands run on the database thread and answer back here: a console that asks
        // while the database stalls never holds the handhelds' thread.
        context.runOnDatabase([&control, web, riga, lettura, fatto] {
            const ControlChannel::Reply r = control.run(riga, !lettura);
            QMetaObject::invokeMethod(web, [fatto, r] { fatto(r.ok, r.lines); }, Qt::QueuedConnection);
        });
    });
    QObject::connect(&context.ui(), &OperatorUi::statusAdded, web, &WebService::evento);
    QObject::connect(web, &WebService::bigliettoPronto, web, [&context](qint32 zona, double secondi) {
        context.stats.ticketReady(frmStampeDocumenti::nomeTipoStampante(zona), secondi);
    });
}

WebWiring::~WebWiring() = default;

bool WebWiring::avvia()
{
    if (!m_web)
        return true;
    QString error;
    if (m_web->avvia(&error))
        return true;
    qCWarning(lcWeb).noquote() << "schermi di cucina non attivi:" << error;
    return false;
}
