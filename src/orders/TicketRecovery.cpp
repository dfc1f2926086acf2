// SPDX-License-Identifier: GPL-3.0-or-later
#include "TicketRecovery.h"

#include "OperatorUi.h"
#include "OrderPrinting.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcRecovery, "pliko.recovery")

using namespace Qt::StringLiterals;

QList<qint32> TicketRecovery::comandeDaStampare(double dalMomento)
{
    const QString da = tipi::sqlNumber(dalMomento);
    QList<qint32> comande;
    auto rs = m_db.openSnapshot(u"SELECT DISTINCT comande.id_comanda FROM comande, merce_comande "
                                "WHERE comande.id_comanda = merce_comande.id_comanda AND comande.stato = 0 "
                                "AND merce_comande.gia_stampata = 0 AND merce_comande.qta_stampata < merce_comande.quantita "
                                "AND (comande.ultima_ordinazione >= "_s
                                + da + u" OR comande.inizio >= "_s + da + u") ORDER BY comande.id_comanda"_s);
    if (!rs) {
        qCWarning(lcRecovery).noquote() << "comande ancora da stampare non lette:" << m_db.lastErrorText();
        return comande;
    }
    for (; !rs->isEOF(); rs->moveNext())
        comande.append(tipi::toLong(rs->value(0)));
    return comande;
}

int TicketRecovery::ristampa(qint32 minuti)
{
    if (minuti <= 0)
        return 0;
    const QList<qint32> comande = comandeDaStampare(modPlikoServer::momentoAttuale() - 60.0 * minuti);
    for (const qint32 id : comande) {
        const QString tavoli = m_helpers.elencoTavoliComanda(id).trimmed();
        const QString riga = u"Ristampa della comanda %1 (tavolo %2): righe confermate e non stampate"_s.arg(id).arg(
            tavoli);
        qCWarning(lcRecovery).noquote() << riga;
        if (m_ui)
            m_ui->addStatus(riga);
        m_printing.ristampaComanda(id, tavoli);
    }
    return int(comande.size());
}
