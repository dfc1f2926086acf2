// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "OrderPrinting.h"
#include "TestSupport.h"

// A printer that writes down what it was asked to print.
class FakePrinting : public OrderPrinting
{
public:
    QString stampantePreconto() override { return precontoPrinter; }
    void stampaComanda(qint32 id, const QString &tavoli) override { log(u"comanda", id, tavoli); }
    bool soloMarcatura(qint32) override { return senzaStampanti; }
    void ristampaComanda(qint32 id, const QString &tavoli) override { log(u"ristampa", id, tavoli); }
    void stampaPreConto(qint32 id, const QString &tavoli) override { log(u"preconto", id, tavoli); }
    void stampaListaOrdinazioni(qint32 id, const QString &tavoli) override { log(u"lista", id, tavoli); }
    void stampaMessaggioCucina(qint32 zona, const QString &testo) override
    {
        log(u"messaggio", zona, testo);
    }
    void stampaResocontoTest(const QStringList &righe) override { log(u"resoconto", int(righe.size()), righe.join(u'/')); }
    void log(QStringView what, qint32 n, const QString &text)
    {
        const QString line = what.toString() + u' ' + QString::number(n) + u' ' + text;
        printed.append(line);
        if (link)
            link->events.append(u"print " + line);
    }
    QString precontoPrinter = QStringLiteral("Cassa");
    bool senzaStampanti = false; // no zone has a ticket printer
    QStringList printed;
    FakeLink *link = nullptr;
};
