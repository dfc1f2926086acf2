// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The print operations that order handling asks for once a handheld has its reply: kitchen
// tickets, pre-bills, the order list and kitchen messages. The report window implements it; the
// handlers know nothing of layouts or printers beyond whether a pre-bill printer is configured.
class OrderPrinting
{
public:
    virtual ~OrderPrinting() = default;
    // The printer configured for pre-bills (document type 7); empty when there is none.
    virtual QString stampantePreconto() = 0;
    virtual void stampaComanda(qint32 idComanda, const QString &tavoli) = 0;
    // Inside the order's transaction: records the tickets the order now owes in the print journal
    // (and marks its lines printed), so that they are owed exactly when the order is stored; the
    // stampaComanda that follows the reply prints them. False when they could not be recorded.
    virtual bool registraComanda(qint32 idComanda, const QString &tavoli)
    {
        Q_UNUSED(idComanda);
        Q_UNUSED(tavoli);
        return true;
    }
    // True when an order's kitchen tickets would print nothing and only mark its lines printed (no
    // zone has a ticket printer): order recording then marks them within the order's own
    // transaction, which spares a second durable write per order.
    virtual bool soloMarcatura(qint32 idComanda)
    {
        Q_UNUSED(idComanda);
        return false;
    }
    // The same tickets, each marked as a reprint: lines confirmed before a stop and never printed.
    virtual void ristampaComanda(qint32 idComanda, const QString &tavoli) { stampaComanda(idComanda, tavoli); }
    virtual void stampaPreConto(qint32 idComanda, const QString &tavoli) = 0;
    virtual void stampaListaOrdinazioni(qint32 idComanda, const QString &tavoli) = 0;
    virtual void stampaMessaggioCucina(qint32 zona, const QString &testo) = 0;
    // The plain-text summary of an order-sending test.
    virtual void stampaResocontoTest(const QStringList &righe) = 0;
};
