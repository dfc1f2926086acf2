// SPDX-License-Identifier: GPL-3.0-or-later
// The kitchen tickets of the print window: reading an order's lines per zone and the ticket table.
#include "frmStampeDocumenti.h"

#include "ErrorRoutine.h"
#include "Registry.h"
#include "TicketDelivery.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

// Bar first, then kitchen, till and pizzeria; 0 has no name and normally no printer.
constexpr qint32 ZoneComanda[] = {4, 2, 1, 3, 0};
constexpr qint32 TipoCassa = 1;
constexpr qint16 ColonneComanda = 10;

QString queryComanda(qint32 idComanda, qint32 zona)
{
    const QString n = QString::number(idComanda);
    if (zona == TipoCassa)
        return u" SELECT (merce_comande.quantita - merce_comande.qta_stampata) AS quantita, merce_comande.descrizione, "
               "merce_comande.turno, merce_comande.id_merce_comanda, tipo_merce.tipo "_s
            + u" FROM (merce_comande INNER JOIN magazzino ON merce_comande.id_articolo = magazzino.codice) LEFT JOIN "
               "tipo_merce ON magazzino.id_tipo_merce = tipo_merce.num "_s
            + u" WHERE gia_stampata = 0 AND (qta_stampata < quantita) AND id_comanda = "_s + n
            + u" ORDER BY merce_comande.turno, tipo_merce.tipo, merce_comande.descrizione"_s;
    return u" SELECT (merce_comande.quantita - merce_comande.qta_stampata) AS quantita, merce_comande.descrizione, "
           "merce_comande.turno, merce_comande.id_merce_comanda, tipo_merce.tipo "_s
        + u" FROM (merce_comande INNER JOIN magazzino ON merce_comande.id_articolo = magazzino.codice)LEFT JOIN "
           "tipo_merce ON magazzino.id_tipo_merce = tipo_merce.num  "_s
        + u" WHERE gia_stampata = 0 AND (qta_stampata < quantita)"_s + u"   AND id_comanda = "_s + n
        + u"   AND id_tipo_merce IN "_s + u"                 (SELECT id_categoria "_s
        + u"                  FROM categorie_zona_ristorante "_s + u"                  WHERE id_zona_ristorante = "_s
        + QString::number(zona) + u") "_s + u" ORDER BY merce_comande.turno,tipo_merce.tipo, merce_comande.descrizione"_s;
}

QString queryComandaNano(qint32 idComanda, qint32 zona)
{
    const QString n = QString::number(idComanda);
    if (zona == TipoCassa)
        return u" SELECT merce_comande.quantita , merce_comande.descrizione, merce_comande.turno, "
               "merce_comande.id_merce_comanda, tipo_merce.tipo "_s
            + u" FROM (merce_comande INNER JOIN magazzino ON merce_comande.id_articolo = magazzino.codice) LEFT JOIN "
               "tipo_merce ON magazzino.id_tipo_merce = tipo_merce.num "_s
            + u" WHERE id_comanda = "_s + n
            + u" ORDER BY merce_comande.turno,tipo_merce.posizione_cassa_facile, tipo_merce.tipo, "
               "merce_comande.descrizione"_s;
    return u" SELECT merce_comande.quantita , merce_comande.descrizione, merce_comande.turno, "
           "merce_comande.id_merce_comanda, tipo_merce.tipo "_s
        + u" FROM (merce_comande INNER JOIN magazzino ON merce_comande.id_articolo = magazzino.codice)LEFT JOIN "
           "tipo_merce ON magazzino.id_tipo_merce = tipo_merce.num  "_s
        + u" WHERE id_comanda = "_s + n + u"   AND id_tipo_merce IN "_s + u"                 (SELECT id_categoria "_s
        + u"                  FROM categorie_zona_ristorante "_s + u"                  WHERE id_zona_ristorante = "_s
        + QString::number(zona) + u") "_s
        + u" ORDER BY merce_comande.turno,tipo_merce.posizione_cassa_facile,tipo_merce.tipo, merce_comande.descrizione"_s;
}

QString queryVariazioni(const QVariant &idMerceComanda)
{
    return u"SELECT * FROM merce_comande_variazioni WHERE id_merce_comanda = "_s
        + QString::number(tipi::toLong(idMerceComanda));
}

QString testoTurno(const QVariant &turno)
{
    return u"Turno "_s + QString::number(tipi::toLong(turno));
}

QString titoloComanda(const QString &tavoli, qint32 zona)
{
    return u"Comanda tavolo "_s + tavoli + u" ("_s + frmStampeDocumenti::nomeTipoStampante(zona) + u')';
}

void guasto(const QString &label, const QString &text)
{
    diagnostics::reportFault(label, text);
}

} // namespace

// ---- Kitchen tickets -----------------------------------------------------------------------------

bool frmStampeDocumenti::leggiRigheComanda(qint32 idComanda, qint32 zona, bool soloDaStampare,
                                           QList<RigaComanda> &righe)
{
    righe.clear();
    auto rs = m_db.openDynaset(soloDaStampare ? queryComanda(idComanda, zona) : queryComandaNano(idComanda, zona));
    if (!rs) {
        guasto(u"stampaComanda"_s, m_db.lastErrorText());
        return false;
    }
    try {
        for (; !rs->isEOF(); rs->moveNext()) {
            RigaComanda r;
            r.id = tipi::toLong(rs->value(u"id_merce_comanda"_s));
            r.quantita = tipi::toDouble(rs->value(u"quantita"_s));
            r.descrizione = tipi::toText(rs->value(u"descrizione"_s)).trimmed();
            r.turno = testoTurno(rs->value(u"turno"_s));
            if (auto vr = m_db.openDynaset(queryVariazioni(rs->value(u"id_merce_comanda"_s))))
                for (; !vr->isEOF(); vr->moveNext())
                    r.variazioni.append(modPlikoServer::rigaVariazione(tipi::toText(vr->value(u"descrizione"_s))));
            righe.append(std::move(r));
        }
    } catch (const std::exception &e) {
        guasto(u"stampaComanda"_s, QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

void frmStampeDocumenti::scriviRigheComanda(const QList<RigaComanda> &righe, cReportData &dati, qint16 &scritte)
{
    scritte = 0;
    qsizetype totale = 0;
    for (const auto &r : righe)
        totale += 1 + r.variazioni.size();
    // A ticket's table holds at most 32,766 rows; an order that large prints its first ones.
    constexpr qsizetype MaxRighe = 32766;
    dati.setColonne(ColonneComanda);
    dati.setRighe(qint16(std::min(totale, MaxRighe) + 1));
    for (const auto &r : righe) {
        if (scritte + 1 + r.variazioni.size() > MaxRighe)
            break;
        dati.setDati(scritte, 1, tipi::numberText(r.quantita));
        dati.setDati(scritte, 2, r.descrizione);
        dati.setDati(scritte, 3, r.turno);
        ++scritte;
        for (const auto &v : r.variazioni) {
            dati.setDati(scritte, 2, v);
            dati.setDati(scritte, 3, r.turno);
            ++scritte;
        }
    }
}

bool frmStampeDocumenti::riempiComanda(qint32 idComanda, qint32 zona, cReportData &dati, qint16 &righe,
                                       bool soloDaStampare)
{
    righe = 0;
    QList<RigaComanda> lette;
    if (!leggiRigheComanda(idComanda, zona, soloDaStampare, lette))
        return false;
    scriviRigheComanda(lette, dati, righe);
    return true;
}

void frmStampeDocumenti::stampaComanda(qint32 idComanda, const QString &tavoli, bool ristampa)
{
    if (m_vsr.isBusy())
        return;
    // No printer: the lines are only marked, unless the order's recording did so with the order
    // (then a statement here would only take the write lock to change nothing).
    if (!stampantiComanda()) {
        if (!ristampa && idComanda != 0 && m_segnateConComanda.removeOne(idComanda))
            return;
        m_db.doQuery(u"UPDATE merce_comande SET qta_stampata = quantita WHERE id_comanda = "_s
                     + QString::number(idComanda) + u" AND qta_stampata < quantita"_s);
        return;
    }
    m_consegna->stampaComanda(idComanda, tavoli, ristampa);
}

bool frmStampeDocumenti::registraComanda(qint32 idComanda, const QString &tavoli)
{
    // Without a ticket printer or a usable layout the lines stay for stampaComanda, as before.
    if (!stampantiComanda() || fileComanda().isEmpty())
        return true;
    return m_consegna->registra(idComanda, tavoli, false);
}

QString frmStampeDocumenti::fileComanda()
{
    // Asked for every order: reading the layout costs more than recording the order, so a good
    // standard layout is read again only once its file changes (time or size) or a custom file
    // appears, looked at once a second at most. Anything else (a custom file, a fault) is read
    // every time, as it always was.
    constexpr qint64 GuardaOgniMs = 1000;
    if (!m_fileComanda.isEmpty() && m_fileComandaVisto.isValid() && m_fileComandaVisto.elapsed() < GuardaOgniMs)
        return m_fileComanda;
    m_fileComandaVisto.start();
    const QDir dir(cartellaLayout());
    const QFileInfo standard(dir.filePath(FileStandard));
    const bool soloStandard = !QFileInfo::exists(dir.filePath(FileCustom));
    const QString timbro = standard.absoluteFilePath() + u'|' + QString::number(standard.size()) + u'|'
        + QString::number(standard.lastModified().toMSecsSinceEpoch());
    if (soloStandard && !m_fileComanda.isEmpty() && timbro == m_timbroFileComanda)
        return m_fileComanda;
    const QString file = setModuloXML(u"Comanda"_s, FileStandard);
    const bool buono = !file.isEmpty() && reportPresenti(file, {u"Comanda"_s, u"Comanda SubReport"_s});
    m_fileComanda = buono && soloStandard && file == standard.filePath() ? file : QString();
    m_timbroFileComanda = timbro;
    return buono ? file : QString();
}

bool frmStampeDocumenti::stampantiComanda() const
{
    // Asked several times for every order: worked out again only once a setting or the printer
    // standing in has changed.
    const quint64 generazione = m_registry.generation();
    if (m_stampanti.note && m_stampanti.generazione == generazione && m_stampanti.sostituta == m_sostituta)
        return m_stampanti.presenti;
    bool presenti = false;
    for (const qint32 zona : ZoneComanda) {
        QString stampante;
        qint32 impostazione = PaperSize::A4;
        leggiStampante(zona, stampante, impostazione);
        presenti = presenti || !stampante.isEmpty();
    }
    // A kitchen screen takes tickets as a printer does.
    presenti = presenti || !m_registry.option(u"ScreenZones"_s).trimmed().isEmpty();
    m_stampanti = {true, generazione, m_sostituta, presenti};
    return presenti;
}

bool frmStampeDocumenti::soloMarcaturaComanda(qint32 idComanda)
{
    // A missing layout keeps the lines unprinted, as stampaComanda does.
    const bool solo = !m_vsr.isBusy() && !stampantiComanda() && !fileComanda().isEmpty();
    // The last answer for an order holds: one refused after a recording that rolled back is marked.
    m_segnateConComanda.removeOne(idComanda);
    if (solo && idComanda != 0) {
        constexpr qsizetype Limite = 256;
        if (m_segnateConComanda.size() == Limite)
            m_segnateConComanda.removeFirst();
        m_segnateConComanda.append(idComanda);
    }
    return solo;
}

void frmStampeDocumenti::stampaComandaNano(qint32 idComanda, const QString &tavoli, const SnapshotRighe &prima,
                                           const SnapshotRighe &dopo)
{
    if (m_vsr.isBusy())
        return;
    const QString file = setModuloXML(u"Comanda"_s, FileStandard);
    if (file.isEmpty() || !reportPresenti(file, {u"Comanda"_s, u"Comanda SubReport"_s}))
        return;
    bool perSchermi = false;
    bool segna = false;
    for (const qint32 zona : ZoneComanda) {
        QString stampante;
        qint32 impostazione = PaperSize::A4;
        leggiStampante(zona, stampante, impostazione);
        // A zone with a kitchen screen gets the round there too (only there without a printer).
        const bool schermo = m_consegna->haSchermo(zona);
        if (stampante.isEmpty() && !schermo)
            continue;
        m_vsr.clear();
        m_vsrSub.clear();
        m_vp.startAfresh();
        // Each zone prints on its own. A zone whose printer fails is owed its round in the journal
        // (retried, moved to its backup), since the next message's round holds only what changed.
        bool stampa = !stampante.isEmpty() && selezionaStampante(stampante);
        if (stampa && !m_vp.setPaperSize(impostazione)) {
            guasto(u"stampaComandaNano"_s, m_vp.lastError());
            messaggio(MsgErroreStampa + stampante);
        }

        auto rs = m_db.openDynaset(queryComandaNano(idComanda, zona));
        if (!rs) {
            guasto(u"stampaComandaNano"_s, m_db.lastErrorText());
            continue;
        }
        cReportData dati;
        qint16 riga = 0;
        TicketJournal::Biglietto biglietto;
        // Each line of the earlier snapshot accounts for one line of this one: two identical dishes
        // on two lines are two dishes, and the second must reach the kitchen too.
        QSet<QString> usati;
        try {
            dati.setColonne(ColonneComanda);
            dati.setRighe(1);
            for (; !rs->isEOF(); rs->moveNext()) {
                bool trovata = false;
                const QString item = dopo.value(tipi::toText(rs->value(u"id_merce_comanda"_s)), &trovata);
                double quantita = 0;
                if (!trovata || !quantitaDaStampare(item, prima, quantita, &usati) || quantita <= 0)
                    continue;
                const QString turno = testoTurno(rs->value(u"turno"_s));
                RigaBiglietto r{tipi::toLong(rs->value(u"id_merce_comanda"_s)), quantita,
                                tipi::toText(rs->value(u"descrizione"_s)).trimmed(), turno, {}};
                dati.setDati(riga, 1, tipi::numberText(quantita));
                dati.setDati(riga, 2, r.descrizione);
                dati.setDati(riga, 3, turno);
                dati.addRighe(1);
                ++riga;
                if (auto vr = m_db.openDynaset(queryVariazioni(rs->value(u"id_merce_comanda"_s)))) {
                    for (; !vr->isEOF(); vr->moveNext()) {
                        r.variazioni.append(modPlikoServer::rigaVariazione(tipi::toText(vr->value(u"descrizione"_s))));
                        dati.setDati(riga, 2, r.variazioni.last());
                        dati.setDati(riga, 3, turno);
                        dati.addRighe(1);
                        ++riga;
                    }
                }
                biglietto.righe.append(std::move(r));
            }
        } catch (const std::exception &e) {
            guasto(u"stampaComandaNano"_s, QString::fromUtf8(e.what()));
            continue;
        }
        rs.reset();
        if (riga <= 0)
            continue;

        bool stampata = false;
        if (stampa) {
            caricaReport(file, u"Comanda"_s, u"Comanda SubReport"_s,
                         intestazione(idComanda, tavoli, u"Comanda delle ore: "_s));
            stampata = selezionaStampante(stampante)
                && stampaCaricato(&dati, u"Comanda SubReport"_s, titoloComanda(tavoli, zona), aggiungiGruppoTurni);
        }
        const bool dovuta = !stampante.isEmpty() && !stampata;
        if (dovuta)
            biglietto.errore = m_vp.lastError().isEmpty() ? u"stampante non disponibile"_s : m_vp.lastError();
        const bool registrata = (schermo || dovuta)
            && registraRadio(idComanda, zona, tavoli, stampante, stampata, std::move(biglietto));
        segna = segna || stampata || registrata;
        perSchermi = perSchermi || (schermo && registrata);
    }
    // Printed or owed, the round's lines are the zones' now: the start-up recovery leaves them.
    if (segna)
        m_db.doQuery(u"UPDATE merce_comande SET qta_stampata = quantita WHERE id_comanda = "_s
                     + QString::number(idComanda));
    if (perSchermi)
        m_consegna->avvisaNuovi(idComanda);
}

bool frmStampeDocumenti::registraRadio(qint32 idComanda, qint32 zona, const QString &tavoli,
                                       const QString &stampante, bool stampata, TicketJournal::Biglietto b)
{
    // The radio round as the journal keeps it: done on paper, owed by a printer that failed (the
    // retry prints it), or only for the kitchen screen.
    b.comanda = idComanda;
    b.zona = zona;
    b.stampante = stampante;
    b.stato = stampata ? TicketJournal::Stampata
        : stampante.isEmpty() ? TicketJournal::SoloSchermo
                              : TicketJournal::Fallita;
    b.tentativi = stampata || stampante.isEmpty() ? 0 : 1;
    b.creata = modPlikoServer::momentoAttuale();
    b.tavoli = tavoli;
    b.cameriere = modPlikoServer(m_db).nomeOperatore(idComanda, true);
    b.ora = oraCorrente();
    return m_consegna->journal().aggiungi(b) != 0;
}
