// SPDX-License-Identifier: GPL-3.0-or-later
// The report window's pre-bills, order list, kitchen messages and test summary.
#include "frmStampeDocumenti.h"

#include "ErrorRoutine.h"
#include "TicketDelivery.h"
#include "OperatorUi.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QFontDatabase>
#include <QScopeGuard>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr qint16 Colonne = 10;

QString linesQuery(qint32 idComanda)
{
    return u" SELECT merce_comande.* "_s + u" FROM merce_comande INNER JOIN magazzino ON merce_comande.id_articolo ="
                                           " magazzino.codice "_s
        + u" WHERE id_comanda = "_s + QString::number(idComanda);
}

QString variationsQuery(const QVariant &idMerceComanda)
{
    return u"SELECT * FROM merce_comande_variazioni WHERE id_merce_comanda = "_s + tipi::toText(idMerceComanda);
}

QString currency(Currency c)
{
    return tipi::formatta(c.toDouble(), u"Currency"_s);
}

QString perPersona(Currency total, qint16 coperti)
{
    const QString amount = coperti < 1 ? currency(total) : tipi::formatta(total.toDouble() / coperti, u"Currency"_s);
    return u"("_s + amount + u" per persona)"_s;
}

// A row is written at `row`; the table grows when a row would fall past its end.
void put(cReportData &t, qint32 row, qint16 column, const QString &text)
{
    if (row >= t.righe())
        t.addRighe(qint16(row - t.righe() + 1));
    t.setDati(qint16(row), column, text);
}

void fault(const QString &label, const QString &text)
{
    diagnostics::reportFault(u"frmStampeDocumenti::"_s + label, text);
}

// The cover row, when the covers are charged; returns the next row.
qint32 coverRow(cReportData &t, qint32 row, qint16 coperti, Currency costo)
{
    if (costo <= Currency())
        return row;
    put(t, row, 1, QString::number(coperti));
    put(t, row, 2, u"Coperto"_s);
    put(t, row, 3, currency(costo));
    return row + 1;
}

// The total row at `row` and the amount per person below it; returns the number of rows written.
qint32 totalRows(cReportData &t, qint32 row, Currency total, qint16 coperti)
{
    put(t, row, 1, QString());
    put(t, row, 2, u"Totale"_s);
    put(t, row, 3, currency(total));
    put(t, row + 1, 3, perPersona(total, coperti));
    return row + 2;
}

} // namespace

frmStampeDocumenti::Documento frmStampeDocumenti::documentoPreconto(qint32 idComanda, const QString &tavoli,
                                                                   const QString &etichettaOra,
                                                                   const QString &titolo) const
{
    Documento d;
    d.tipo = 7;
    d.report = u"Preconto"_s;
    d.subReport = u"Preconto SubReport"_s;
    d.campi = intestazione(idComanda, tavoli, etichettaOra);
    d.titolo = titolo + tavoli;
    return d;
}

void frmStampeDocumenti::stampaPreConto(qint32 idComanda, const QString &tavoli)
{
    m_consegna->documento(TicketJournal::Preconto, idComanda, 7, tavoli);
}

void frmStampeDocumenti::stampaPreContoSintetico(qint32 idComanda, const QString &tavoli)
{
    m_consegna->documento(TicketJournal::PrecontoSintetico, idComanda, 7, tavoli);
}

void frmStampeDocumenti::stampaListaOrdinazioni(qint32 idComanda, const QString &tavoli)
{
    m_consegna->documento(TicketJournal::ListaOrdinazioni, idComanda, 7, tavoli);
}

bool frmStampeDocumenti::stampaMessaggioCucina(qint32 tipo, const QString &testo)
{
    return m_consegna->documento(TicketJournal::MessaggioCucina, 0, tipo, QString(), testo);
}

frmStampeDocumenti::Esito frmStampeDocumenti::eseguiDocumento(const TicketJournal::Biglietto &b,
                                                                const QString &stampante)
{
    m_sostituta = stampante;
    auto ripristina = qScopeGuard([this] { m_sostituta.clear(); });
    switch (b.genere) {
    case TicketJournal::Preconto:
        return preconto(b.comanda, b.tavoli);
    case TicketJournal::PrecontoSintetico:
        return precontoSintetico(b.comanda, b.tavoli);
    case TicketJournal::ListaOrdinazioni:
        return listaOrdinazioni(b.comanda, b.tavoli);
    case TicketJournal::MessaggioCucina:
        // On a backup printer the message says whose it is, as a kitchen ticket there does.
        return messaggioCucina(b.zona,
                               stampante.isEmpty() ? b.testo
                                                   : nomeTipoStampante(b.zona).toUpper() + TicketDelivery::RigaRiserva
                                       + u"\r\n"_s + b.testo,
                               b.ora);
    default:
        return Esito::NienteDaStampare;
    }
}

frmStampeDocumenti::Esito frmStampeDocumenti::preconto(qint32 idComanda, const QString &tavoli)
{
    Documento d = documentoPreconto(idComanda, tavoli, u"Preconto delle ore: "_s, u"Preconto tavolo"_s);
    d.dati = [this, idComanda](cReportData &t) -> qint32 {
        qint16 coperti = 0;
        Currency costo;
        if (auto rs = m_db.openDynaset(u"SELECT coperti, costo_coperti FROM comande WHERE id_comanda = "_s
                                       + QString::number(idComanda));
            rs && !rs->isEOF()) {
            coperti = tipi::toInt16(rs->value(u"coperti"_s));
            costo = tipi::toCurrency(rs->value(u"costo_coperti"_s));
        }
        auto lines = m_db.openDynaset(linesQuery(idComanda));
        const int count = lines ? lines->recordCount() : 0;
        t.setColonne(Colonne);
        t.setRighe(qint16(std::min(count + 2, 32000)));
        qint32 row = coverRow(t, 0, coperti, costo);
        Currency somma;
        for (; lines && !lines->isEOF(); lines->moveNext()) {
            const Currency totale = tipi::toCurrency(lines->value(u"totale"_s));
            put(t, row, 1, tipi::numberText(tipi::toDouble(lines->value(u"quantita"_s))));
            put(t, row, 2, tipi::toText(lines->value(u"descrizione"_s)).trimmed());
            put(t, row, 3, currency(totale));
            somma += totale;
            if (auto vr = m_db.openDynaset(variationsQuery(lines->value(u"id_merce_comanda"_s)))) {
                for (; !vr->isEOF(); vr->moveNext()) {
                    ++row;
                    const double amount = tipi::toDouble(vr->value(u"maggiorazione"_s))
                        * tipi::toDouble(vr->value(u"quantita"_s));
                    put(t, row, 1, tipi::toText(vr->value(u"quantita"_s)));
                    put(t, row, 2, modPlikoServer::rigaVariazione(tipi::toText(vr->value(u"descrizione"_s))));
                    put(t, row, 3, tipi::formatta(amount, u"Currency"_s));
                    somma += Currency::fromDouble(amount);
                }
            }
            ++row;
        }
        return totalRows(t, row + 1, somma + costo, coperti); // one blank row before the total
    };
    return stampaDocumento(d);
}

frmStampeDocumenti::Esito frmStampeDocumenti::precontoSintetico(qint32 idComanda, const QString &tavoli)
{
    Documento d = documentoPreconto(idComanda, tavoli, u"Preconto delle ore: "_s, u"Preconto tavolo"_s);
    d.dati = [this, idComanda](cReportData &t) -> qint32 {
        qint16 coperti = 0;
        if (auto rs = m_db.openDynaset(u"SELECT coperti, costo_coperti FROM comande WHERE id_comanda = "_s
                                       + QString::number(idComanda));
            rs && !rs->isEOF())
            coperti = tipi::toInt16(rs->value(u"coperti"_s));
        const Currency costo = modPlikoServer(m_db).costoCoperti(idComanda);
        auto lines = m_db.openDynaset(
            u" SELECT tipo_merce.tipo, merce_comande.* "_s
            + u" FROM (merce_comande INNER JOIN magazzino ON merce_comande.id_articolo = magazzino.codice)LEFT JOIN"
              " tipo_merce ON magazzino.id_tipo_merce = tipo_merce.num "_s
            + u" WHERE id_comanda = "_s + QString::number(idComanda)
            + u" ORDER BY tipo_merce.posizione_cassa_facile, merce_comande.descrizione"_s);
        const int count = lines ? lines->recordCount() : 0;
        t.setColonne(Colonne);
        t.setRighe(qint16(std::min(count + 2, 32000)));
        qint32 row = coverRow(t, 0, coperti, costo);
        Currency sommaCategoria;
        Currency totale;
        double quantitaCategoria = 0;
        QString categoria = lines && !lines->isEOF() ? tipi::toText(lines->value(u"tipo"_s)) : QString();
        auto writeCategory = [&] {
            ++row;
            put(t, row, 1, tipi::numberText(quantitaCategoria));
            put(t, row, 2, categoria.trimmed());
            put(t, row, 3, currency(sommaCategoria));
        };
        for (; lines && !lines->isEOF(); lines->moveNext()) {
            const QString tipo = tipi::toText(lines->value(u"tipo"_s));
            if (tipo != categoria) {
                writeCategory();
                categoria = tipo;
                sommaCategoria = {};
                quantitaCategoria = 0;
            }
            const Currency riga = tipi::toCurrency(lines->value(u"totale"_s));
            sommaCategoria += riga;
            totale += riga;
            quantitaCategoria += tipi::toDouble(lines->value(u"quantita"_s));
            if (auto vr = m_db.openDynaset(variationsQuery(lines->value(u"id_merce_comanda"_s)))) {
                for (; !vr->isEOF(); vr->moveNext()) {
                    const Currency extra = Currency::fromDouble(tipi::toDouble(vr->value(u"maggiorazione"_s))
                                                                * tipi::toDouble(vr->value(u"quantita"_s)));
                    sommaCategoria += extra;
                    totale += extra;
                }
            }
        }
        writeCategory();
        t.addRighe(3);
        return totalRows(t, row + 2, totale + costo, coperti); // one blank row before the total
    };
    return stampaDocumento(d);
}

frmStampeDocumenti::Esito frmStampeDocumenti::listaOrdinazioni(qint32 idComanda, const QString &tavoli)
{
    Documento d = documentoPreconto(idComanda, tavoli, u" Lista ordinazioni delle ore: "_s,
                                    u"Lista ordinazioni tavolo"_s);
    // The list shares the pre-bill's layout; its closing line says what it is.
    d.campi.append({u"avviso"_s, u"Non fiscale - lista ordinazioni"_s});
    d.dati = [this, idComanda](cReportData &t) -> qint32 {
        auto lines = m_db.openDynaset(linesQuery(idComanda));
        t.setColonne(Colonne);
        qint16 tot = 0;
        if (auto sum = m_db.openDynaset(u" SELECT SUM(quantita) as tot "_s + u" FROM merce_comande "_s
                                        + u" WHERE id_comanda = "_s + QString::number(idComanda));
            sum && !sum->isEOF())
            tot = tipi::toInt16(sum->value(u"tot"_s));
        t.setRighe(qint16(std::max<int>(tot, 0) + 2));
        qint32 row = 0;
        for (; lines && !lines->isEOF(); lines->moveNext()) {
            // One row a portion; halves round to the even neighbour.
            const double q = std::nearbyint(tipi::toDouble(lines->value(u"quantita"_s)));
            const QString descrizione = tipi::toText(lines->value(u"descrizione"_s)).trimmed();
            for (int k = 1; k <= q && row < 30000; ++k) {
                put(t, row, 1, u"1"_s);
                put(t, row, 2, descrizione);
                ++row;
            }
        }
        return row;
    };
    return stampaDocumento(d);
}

frmStampeDocumenti::Esito frmStampeDocumenti::messaggioCucina(qint32 tipo, const QString &testo, const QString &ora)
{
    QString stampante;
    qint32 impostazione = 0;
    if (!leggiStampante(tipo, stampante, impostazione)) {
        messaggio(u"Stampante non definita!"_s);
        return Esito::SenzaStampante;
    }
    if (!m_vp.setDevice(stampante) || !m_vp.setPaperSize(impostazione)) {
        fault(u"stampaMessaggioCucina"_s, m_vp.lastError());
        messaggio(MsgErroreStampa + stampante);
        return Esito::ErroreStampante;
    }
    if (m_vsr.isBusy())
        return Esito::Occupato;
    const QString file = setModuloXML(u"Messaggio Cucina"_s, FileStandard);
    if (file.isEmpty()
        || !caricaReport(file, u"Messaggio Cucina"_s, {},
                         {{u"titolo"_s, u"Messaggio delle ore: "_s + (ora.isEmpty() ? oraCorrente() : ora)},
                          {u"testo"_s, testo}}))
        return Esito::ErroreLayout;
    return stampaCaricato(nullptr, {}, u"Messaggio"_s) ? Esito::Stampato : Esito::ErroreStampante;
}

QString frmStampeDocumenti::fontResoconto()
{
    const QString wanted = u"fontB22"_s;
    if (QFontDatabase::hasFamily(wanted))
        return wanted;
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

bool frmStampeDocumenti::stampaResocontoTest(const QStringList &righe)
{
    QString stampante;
    qint32 impostazione = 0;
    leggiStampante(7, stampante, impostazione);
    if (m_sceltaStampante && !m_sceltaStampante(stampante))
        return false;
    if (stampante.isEmpty()) {
        messaggio(u"Stampante non definita!"_s);
        return false;
    }
    if (m_vsr.isBusy())
        return false;
    m_vsr.clear();
    m_vsrSub.clear();
    m_vp.startAfresh();
    if (!selezionaStampante(stampante))
        return false;
    if (!m_vp.setPaperSize(impostazione ? impostazione : 9)) {
        messaggio(MsgImpostazioneStampante);
        return false;
    }
    // Plain text, one summary line a row, in the printer's small fixed-pitch font.
    ReportLayout layout;
    layout.name = u"Resoconto test"_s;
    layout.detail.height = 260;
    ReportField line;
    line.name = u"riga"_s;
    line.kind = ReportField::Kind::Expression;
    line.expression = u"campo_1"_s;
    line.width = layout.width;
    line.height = 240;
    line.font.family = fontResoconto();
    line.font.size = 9;
    line.wrap = true;
    layout.detail.fields.append(line);
    m_vsr.setLayout(layout);
    cReportData dati;
    dati.setColonne(2);
    dati.setRighe(qint16(righe.size()));
    for (int i = 0; i < righe.size(); ++i)
        dati.setDati(qint16(i), 1, righe[i]);
    return stampaCaricato(&dati, {}, u"Resoconto test invio comande"_s);
}
