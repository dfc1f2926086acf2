// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintRequests.h"

#include "HandheldLink.h"
#include "OrderPrinting.h"
#include "OrderText.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QLoggingCategory>
#include <QStringList>

Q_LOGGING_CATEGORY(lcRequests, "pliko.requests")

using namespace Qt::StringLiterals;

namespace {
const QString ErroreTrasmissione = u"errore|Si è verificato un errore nella trasmissione\r"_s;
const QString NessunaStampante = u"errore|Non e' stata configurata nessuna stampante per il pre-conto!\r"_s;

// What a note's field can carry onto its ticket: a kitchen note is a few words, and a field as
// long as a whole request would only hold the printer (and everyone waiting for it) up.
constexpr qsizetype MaxCampoNota = 2000;

QString campoNota(const QString &field, const char *name, int index)
{
    if (field.size() <= MaxCampoNota)
        return field;
    qCWarning(lcRequests).noquote() << "nota per la cucina sullo slot" << index << ":" << name << "di" << field.size()
                                    << "caratteri, ridotto a" << MaxCampoNota;
    return field.left(MaxCampoNota);
}
}

PrintRequests::PrintRequests(clsDatabase &db, modPlikoServer &helpers, HandheldLink &link, OrderPrinting &printing)
    : m_db(db), m_helpers(helpers), m_link(link), m_printing(printing)
{
}

bool PrintRequests::occupaTavolo(const QString &tail, int index)
{
    const qsizetype bar = tail.indexOf(u'|');
    const QStringList f = bar < 0 ? QStringList() : tail.mid(bar + 1).split(u'|');
    QStringList tavoli;
    double inizio = 0;
    qint16 coperti = 0;
    double costoCoperti = 0;
    qint32 operatore = 0;
    QString why = u"campi mancanti"_s;
    bool valid = f.size() >= 5;
    if (valid) {
        for (const QString &t : f[0].split(u',')) {
            qint64 n = 0;
            valid = valid && intestazione::tavolo(t, &n, &why);
            tavoli.append(t.trimmed());
        }
        valid = valid && intestazione::momento(f[1], &inizio, &why) && intestazione::coperti(f[2], &coperti, &why)
            && intestazione::importo(u"costo dei coperti"_s, f[3], &costoCoperti, &why)
            && intestazione::operatore(f[4], &operatore, &why) && m_helpers.operatoreEsiste(operatore, &why);
    }
    if (!valid) {
        // Nothing is written for a request that cannot be read whole, nor for numbers out of bounds.
        qCWarning(lcRequests).noquote() << "OccupaTavolo rifiutato sullo slot" << index << ":" << why << "-" << tail;
        m_link.inviaRisposta(ErroreTrasmissione, index);
        return false;
    }
    auto failed = [&](const QString &why) {
        qCWarning(lcRequests).noquote() << "OccupaTavolo non riuscito:" << why;
        if (m_db.inTransaction())
            m_db.rollback();
        m_link.inviaRisposta(ErroreTrasmissione, index);
        return false;
    };
    if (!m_db.beginTrans())
        return failed(m_db.lastErrorText());
    qint32 key = -1;
    {
        auto rs = m_db.openTable(u"comande"_s);
        if (!rs || !m_db.addNewRecord(*rs))
            return failed(u"comande"_s);
        rs->setValue(u"inizio"_s, inizio);
        rs->setValue(u"id_operatore"_s, operatore);
        rs->setValue(u"coperti"_s, coperti);
        rs->setValue(u"costo_coperti"_s, costoCoperti);
        rs->setValue(u"stato"_s, 0);
        rs->setValue(u"data"_s, tipi::dayNumber(tipi::today()));
        rs->setValue(u"gia_scaricato"_s, 0);
        key = tipi::toLong(rs->value(u"id_comanda"_s));
        if (!m_db.updateRecord(*rs))
            return failed(u"comande"_s);
    }
    {
        auto rs = m_db.openTable(u"tavoli_occupati"_s);
        if (!rs)
            return failed(u"tavoli_occupati"_s);
        for (const QString &t : tavoli) {
            if (!m_db.addNewRecord(*rs))
                return failed(u"tavoli_occupati"_s);
            rs->setValue(u"numero_tavolo"_s, tipi::toLong(t));
            rs->setValue(u"id_comanda"_s, key);
            if (!m_db.updateRecord(*rs))
                return failed(u"tavoli_occupati"_s);
        }
    }
    if (!m_db.commitTrans())
        return failed(m_db.lastErrorText());
    m_link.inviaRisposta(u"OK|\r"_s, index);
    return true;
}

qint32 PrintRequests::comandaAperta(qint16 tavolo)
{
    auto rs = m_db.openDynaset(u"SELECT comande.id_comanda FROM comande, tavoli_occupati "_s
                               + u" WHERE tavoli_occupati.numero_tavolo = "_s + QString::number(tavolo)
                               + u"   AND tavoli_occupati.id_comanda = comande.id_comanda "_s + u"   AND stato = 0 "_s);
    if (!rs)
        return -2;
    if (rs->isEOF())
        return -1;
    return tipi::toLong(rs->value(u"id_comanda"_s));
}

void PrintRequests::stampaPreConto(qint16 tavolo, int index)
{
    richiestaStampa(tavolo, index, u"errore|Tavolo non occupato, impossibile stampare il preconto\r"_s, true);
}

void PrintRequests::stampaListaOrdinazioni(qint16 tavolo, int index)
{
    richiestaStampa(tavolo, index, u"errore|Tavolo non occupato, impossibile stampare la lista\r"_s, false);
}

void PrintRequests::richiestaStampa(qint16 tavolo, int index, const QString &tavoloLibero, bool preconto)
{
    // Both print on the pre-bill printer: without one the handheld hears so before anything changes.
    if (m_printing.stampantePreconto().isEmpty()) {
        m_link.inviaRisposta(NessunaStampante, index);
        return;
    }
    const qint32 key = comandaAperta(tavolo);
    if (key == -2)
        return;
    if (key == -1) {
        m_link.inviaRisposta(tavoloLibero, index);
        return;
    }
    if (preconto && !m_db.doQuery(u"UPDATE comande SET pre_conto = true WHERE id_comanda = "_s + QString::number(key)))
        return;
    m_link.inviaRisposta(u"OK|\r"_s, index);
    m_link.dopoChiusura(index, [this, key, preconto] {
        const QString tavoli = m_helpers.elencoTavoliComanda(key);
        if (preconto)
            m_printing.stampaPreConto(key, tavoli);
        else
            m_printing.stampaListaOrdinazioni(key, tavoli);
    });
}

bool PrintRequests::nota(const QString &rest, int index, const QString &prefix)
{
    const QStringList e = rest.split(u'|');
    if (e.size() < 3) {
        qCWarning(lcRequests).noquote() << "nota per la cucina con" << e.size() << "campi rifiutata sullo slot"
                                        << index;
        return false;
    }
    const QString testo =
        prefix + campoNota(e[0], "first field", index) + u"\r\n"_s + u"Messaggio: "_s + campoNota(e[1], "message", index);
    const qint32 zona = tipi::toLong(e[2]);
    m_link.inviaRisposta(u"OK|\r"_s, index);
    m_link.dopoChiusura(index, [this, zona, testo] { m_printing.stampaMessaggioCucina(zona, testo); });
    return true;
}

bool PrintRequests::notaLibera(const QString &rest, int index)
{
    return nota(rest, index, u"Operatore: "_s);
}

bool PrintRequests::notaTavolo(const QString &rest, int index)
{
    return nota(rest, index, u"Tavolo n: "_s);
}
