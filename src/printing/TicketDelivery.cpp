// SPDX-License-Identifier: GPL-3.0-or-later
#include "TicketDelivery.h"

#include "DocumentWriter.h"
#include "ErrorRoutine.h"
#include "OperatorUi.h"
#include "Registry.h"
#include "SpoolPrinter.h"
#include "clsDatabase.h"
#include "frmStampeDocumenti.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <algorithm>

Q_LOGGING_CATEGORY(lcJournal, "pliko.tickets")

using namespace Qt::StringLiterals;

namespace {
// Bar first, then kitchen, till and pizzeria; 0 has no name and normally no printer.
constexpr qint32 ZoneComanda[] = {4, 2, 1, 3, 0};
constexpr double GiornoDiServizio = 24 * 3600.0;
constexpr int DefaultFailover = 30;

QString impronta(const RenderedDocument &doc)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(DocumentWriter::text(doc).toUtf8(), QCryptographicHash::Sha1).toHex());
}
} // namespace

TicketDelivery::TicketDelivery(frmStampeDocumenti &form, clsDatabase &db, Registry &registry, OperatorUi *ui)
    : m_form(form), m_db(db), m_registry(registry), m_ui(ui), m_journal(db)
{
}

QString TicketDelivery::stampanteRiserva(qint32 zona) const
{
    const QString nome = frmStampeDocumenti::nomeTipoStampante(zona);
    return nome.isEmpty() ? QString() : m_registry.option(u"BackupPrinter_"_s + nome).trimmed();
}

bool TicketDelivery::haSchermo(qint32 zona) const
{
    const QString nome = frmStampeDocumenti::nomeTipoStampante(zona);
    if (nome.isEmpty())
        return false;
    for (const QString &z : m_registry.option(u"ScreenZones"_s).split(u',', Qt::SkipEmptyParts))
        if (z.trimmed().compare(nome, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

int TicketDelivery::secondiFailover() const
{
    qint64 s = DefaultFailover;
    const QString text = m_registry.option(u"FailoverSeconds"_s);
    if (!text.isEmpty() && (!tipi::parseWhole(text, &s) || s < 0))
        s = DefaultFailover;
    return int(std::min<qint64>(s, 24 * 3600));
}

bool TicketDelivery::registra(qint32 idComanda, const QString &tavoli, bool ristampa)
{
    if (!m_journal.prepara()) {
        diagnostics::reportFault(u"stampaComanda"_s, m_db.lastErrorText());
        return false;
    }
    // The lines still to print as the tickets are journalled: the marking touches only these, never
    // a line another request added meanwhile.
    QStringList daStampare;
    if (auto rs = m_db.openDynaset(u"SELECT id_merce_comanda FROM merce_comande WHERE qta_stampata < quantita "
                                   "AND id_comanda = "_s
                                   + QString::number(idComanda))) {
        for (; !rs->isEOF(); rs->moveNext())
            daStampare.append(QString::number(tipi::toLong(rs->value(u"id_merce_comanda"_s))));
    } else {
        diagnostics::reportFault(u"stampaComanda"_s, m_db.lastErrorText());
        return false;
    }
    if (daStampare.isEmpty())
        return true;
    // Inside the order's own transaction, its commit (or rollback) is the caller's.
    const bool propria = !m_db.inTransaction();
    if (propria && !m_db.beginTrans())
        return false;
    auto annulla = qScopeGuard([this, propria] {
        if (propria)
            m_db.rollback();
    });
    const double adesso = modPlikoServer::momentoAttuale();
    const QString cameriere = modPlikoServer(m_db).nomeOperatore(idComanda, true);
    const QString ora = frmStampeDocumenti::oraCorrente();
    for (const qint32 zona : ZoneComanda) {
        QString stampante;
        qint32 impostazione = 0;
        m_form.leggiStampante(zona, stampante, impostazione);
        const bool soloSchermo = stampante.isEmpty() && haSchermo(zona);
        if (stampante.isEmpty() && !soloSchermo)
            continue;
        TicketJournal::Biglietto b;
        if (!m_form.leggiRigheComanda(idComanda, zona, true, b.righe))
            return false;
        if (b.righe.isEmpty())
            continue;
        b.comanda = idComanda;
        b.zona = zona;
        b.stampante = stampante;
        b.creata = adesso;
        b.tavoli = tavoli;
        b.cameriere = cameriere;
        b.ora = ora;
        b.ristampa = ristampa;
        b.stato = soloSchermo ? TicketJournal::SoloSchermo : TicketJournal::Dovuta;
        if (m_journal.aggiungi(b) == 0)
            return false;
    }
    if (!m_db.doQuery(u"UPDATE merce_comande SET qta_stampata = quantita WHERE id_comanda = "_s
                      + QString::number(idComanda) + u" AND id_merce_comanda IN ("_s + daStampare.join(u',') + u')'))
        return false;
    annulla.dismiss();
    return !propria || m_db.commitTrans() || (m_db.rollback(), false);
}

void TicketDelivery::stampaComanda(qint32 idComanda, const QString &tavoli, bool ristampa)
{
    // An order that comes while another's tickets are going out (a statement lets events run)
    // waits for them and goes out next, never later than that.
    m_inAttesa.append({idComanda, tavoli, ristampa});
    if (m_inCorso)
        return;
    m_inCorso = true;
    auto fine = qScopeGuard([this] { m_inCorso = false; });
    while (!m_inAttesa.isEmpty()) {
        const Attesa a = m_inAttesa.takeFirst();
        const QString file = m_form.fileComanda();
        if (file.isEmpty())
            continue; // without a usable layout nothing can print: the lines stay unprinted
        if (!registra(a.comanda, a.tavoli, a.ristampa)) {
            qCWarning(lcJournal).noquote() << "comanda" << a.comanda << ": biglietti non annotati:" << m_db.lastErrorText();
            continue;
        }
        avvisaNuovi(a.comanda);
        for (const auto &b :
             m_journal.leggi(u"stato IN (0, 3) AND documento = 0 AND id_comanda = "_s + QString::number(a.comanda)))
            consegna(b, file);
    }
    aggiornaDovute();
}

bool TicketDelivery::consegna(TicketJournal::Biglietto b, const QString &file)
{
    const double adesso = modPlikoServer::momentoAttuale();
    QString stampante;
    qint32 impostazione = 0;
    m_form.leggiStampante(b.zona, stampante, impostazione);
    const bool suRiserva = this->suRiserva(b, adesso, stampante);
    if (suRiserva)
        stampante = stampanteRiserva(b.zona);
    if (stampante.isEmpty() || file.isEmpty()) {
        m_journal.fallita(b.id, stampante.isEmpty() ? u"nessuna stampante per la zona"_s : u"layout non valido"_s,
                          adesso, true);
        return false;
    }
    const QString etichetta = b.ristampa ? frmStampeDocumenti::EtichettaRistampa
                                         : (b.tentativi > 0 ? EtichettaRiprova : QString());
    // A ticket on a backup printer says whose it is on its own line; the round's time and the
    // waiter share the next one, so that a ticket line of 42 characters still holds the time.
    const QString riga2 = suRiserva ? QString(frmStampeDocumenti::nomeTipoStampante(b.zona).toUpper() + RigaRiserva)
                                    : QString(etichetta + u"Comanda delle ore: "_s + b.ora);
    const QString riga3 = suRiserva ? QString(etichetta + u"Ore "_s + b.ora + u" - Cameriere: "_s + b.cameriere)
                                    : QString(u"Cameriere: "_s + b.cameriere);

    // A zone already known to be failing does not tell the operator again at each attempt.
    m_form.setSilenzioso(m_zoneGuaste.contains(b.zona) && !suRiserva);
    auto parla = qScopeGuard([this] { m_form.setSilenzioso(false); });
    ReportEngine &vsr = m_form.vsr();
    vsr.clear();
    m_form.vsrSub().clear();
    m_form.vp().startAfresh();
    bool ok = false;
    bool inviato = false; // recorded as sent (its attempt counted)
    QString errore;
    try {
        cReportData dati;
        qint16 righe = 0;
        frmStampeDocumenti::scriviRigheComanda(b.righe, dati, righe);
        const frmStampeDocumenti::CampiIntestazione campi = {
            {u"numeroTavolo"_s, u"** TAVOLO "_s + b.tavoli + u" **"_s},
            {u"oraComanda"_s, riga2},
            {u"operatore"_s, riga3}};
        if (!m_form.caricaReport(file, u"Comanda"_s, u"Comanda SubReport"_s, campi)) {
            errore = u"layout non caricato"_s;
        } else if (!m_form.vp().setDevice(stampante)) {
            errore = m_form.vp().lastError();
            m_form.messaggio(frmStampeDocumenti::MsgConfigurazioneStampante + u" ("_s + stampante + u')');
            vsr.clear();
            m_form.vsrSub().clear();
        } else {
            m_form.vp().setPaperSize(impostazione);
            const QString titolo = u"Comanda tavolo "_s + b.tavoli + u" ("_s
                + frmStampeDocumenti::nomeTipoStampante(b.zona) + u") [n. "_s + QString::number(b.id) + u']';
            // The hand-over is journalled before it happens: a stop from here on leaves the ticket
            // "sent", to be checked against its printer, never owed blindly.
            bool registrata = true;
            ok = m_form.stampaCaricato(&dati, u"Comanda SubReport"_s, titolo, frmStampeDocumenti::aggiungiGruppoTurni,
                                       [&](const RenderedDocument &doc) {
                                           registrata = m_journal.inviata(b.id, stampante, impronta(doc), adesso);
                                           inviato = registrata;
                                           return registrata;
                                       });
            if (!registrata) {
                m_forseDovute = true;
                return false; // the database is away: the ticket stays owed and waits for it
            }
            if (!ok)
                errore = m_form.vp().lastError();
        }
    } catch (const std::exception &e) {
        errore = QString::fromUtf8(e.what());
    }
    const double secondi = modPlikoServer::momentoAttuale() - b.creata;
    PrinterBackend *backend = m_form.vp().backend();
    if (ok && !suRiserva && backend && backend->tracksJobs()) {
        // A spooler that took the job has not printed it yet: it stays sent, with its job, until the
        // job completes (seguiLavori).
        m_journal.stampata(b.id, m_form.vp().lastJob(), TicketJournal::Inviata);
    } else if (ok) {
        m_journal.stampata(b.id, m_form.vp().lastJob(), suRiserva ? TicketJournal::Spostata : TicketJournal::Stampata);
        if (!suRiserva)
            segnaZona(b.zona, true);
    } else {
        qCWarning(lcJournal).noquote() << "comanda" << b.comanda << ": il biglietto della zona"
                                       << frmStampeDocumenti::nomeTipoStampante(b.zona) << "non è stato stampato su"
                                       << stampante << "-" << errore;
        m_journal.fallita(b.id, errore.isEmpty() ? u"stampa non riuscita"_s : errore, adesso, !inviato);
        if (!suRiserva)
            segnaZona(b.zona, false);
    }
    if (m_esito)
        m_esito(b.zona, secondi, suRiserva, ok);
    return ok;
}

bool TicketDelivery::suRiserva(const TicketJournal::Biglietto &b, double adesso, const QString &propria) const
{
    const QString riserva = stampanteRiserva(b.zona);
    return !riserva.isEmpty() && b.tentativi > 0 && adesso - b.creata >= secondiFailover() && riserva != propria;
}

bool TicketDelivery::documento(int genere, qint32 idComanda, qint32 tipo, const QString &tavoli, const QString &testo)
{
    TicketJournal::Biglietto b;
    b.genere = genere;
    b.comanda = idComanda;
    b.zona = tipo;
    b.tavoli = tavoli;
    b.testo = testo;
    b.creata = modPlikoServer::momentoAttuale();
    b.ora = frmStampeDocumenti::oraCorrente();
    QString stampante;
    qint32 impostazione = 0;
    if (!m_form.leggiStampante(tipo, stampante, impostazione))
        return m_form.eseguiDocumento(b, {}) == frmStampeDocumenti::Esito::Stampato; // says why, owes nothing
    b.stampante = stampante;
    b.id = m_journal.aggiungi(b);
    if (b.id == 0) {
        // The journal is away with the database: the document still prints, only not retried.
        qCWarning(lcJournal).noquote() << "documento" << genere << "della comanda" << idComanda << "non annotato:"
                                       << m_db.lastErrorText();
        return m_form.eseguiDocumento(b, {}) == frmStampeDocumenti::Esito::Stampato;
    }
    if (m_inCorso)
        return false; // tickets are going out: the retry round prints it
    m_inCorso = true;
    const bool ok = consegnaDocumento(b);
    m_inCorso = false;
    aggiornaDovute();
    return ok;
}

bool TicketDelivery::consegnaDocumento(const TicketJournal::Biglietto &b)
{
    using Esito = frmStampeDocumenti::Esito;
    const double adesso = modPlikoServer::momentoAttuale();
    QString propria;
    qint32 impostazione = 0;
    m_form.leggiStampante(b.zona, propria, impostazione);
    const bool riserva = suRiserva(b, adesso, propria);
    m_form.setSilenzioso(m_zoneGuaste.contains(b.zona) && !riserva);
    auto parla = qScopeGuard([this] { m_form.setSilenzioso(false); });
    const Esito esito = m_form.eseguiDocumento(b, riserva ? stampanteRiserva(b.zona) : QString());
    switch (esito) {
    case Esito::Stampato:
        m_journal.stampata(b.id, m_form.vp().lastJob(), riserva ? TicketJournal::Spostata : TicketJournal::Stampata);
        break;
    case Esito::NienteDaStampare:
    case Esito::SenzaStampante:
        // Nothing is owed: the order has no lines, or the back office took the printer away.
        m_journal.stampata(b.id, QString());
        return true;
    case Esito::Occupato:
    case Esito::ErroreLayout:
    case Esito::ErroreStampante:
        m_journal.fallita(b.id, esito == Esito::ErroreLayout ? u"layout non valido"_s : m_form.vp().lastError(), adesso,
                          true);
        break;
    }
    const bool ok = esito == Esito::Stampato;
    if (!riserva)
        segnaZona(b.zona, ok);
    if (m_esito)
        m_esito(b.zona, adesso - b.creata, riserva, ok);
    return ok;
}

void TicketDelivery::aggiornaDovute()
{
    if (!m_forseDovute || !m_dovute)
        return;
    const auto perZona = dovutePerZona();
    m_forseDovute = !perZona.isEmpty();
    m_dovute(perZona);
}

void TicketDelivery::segnaZona(qint32 z, bool ok)
{
    m_forseDovute = m_forseDovute || !ok;
    if (ok == !m_zoneGuaste.contains(z))
        return;
    const QString nome = frmStampeDocumenti::nomeTipoStampante(z);
    QString testo;
    if (ok) {
        m_zoneGuaste.remove(z);
        testo = u"La stampante della zona "_s + nome + u" stampa di nuovo"_s;
    } else {
        m_zoneGuaste.insert(z);
        const QString riserva = stampanteRiserva(z);
        testo = u"La stampante della zona "_s + nome + u" non stampa: "_s
            + (riserva.isEmpty() ? u"le comande vengono riprovate"_s
                                 : u"le comande passano alla stampante di riserva "_s + riserva);
    }
    qCWarning(lcJournal).noquote() << testo;
    if (m_ui)
        m_ui->addStatus(testo);
    if (m_avviso)
        m_avviso(z, !ok);
}

bool TicketDelivery::comandaAperta(qint32 idComanda, bool *esiste)
{
    *esiste = true;
    auto rs = m_db.openSnapshot(u"SELECT stato FROM comande WHERE id_comanda = "_s + QString::number(idComanda));
    if (!rs)
        return false;
    if (rs->isEOF()) {
        *esiste = false;
        return false;
    }
    return tipi::toLong(rs->value(0)) == 0;
}

void TicketDelivery::seguiLavori()
{
    PrinterBackend *backend = m_form.vp().backend();
    if (!backend || !backend->tracksJobs())
        return;
    const double adesso = modPlikoServer::momentoAttuale();
    for (const auto &b : m_journal.leggi(u"stato = 1 AND consegna <> ''"_s)) {
        switch (backend->jobState(b.consegna)) {
        case PrinterBackend::JobState::Completed:
        case PrinterBackend::JobState::Unknown: // completed and purged: only a finished job leaves the list
            m_journal.stampata(b.id, b.consegna);
            segnaZona(b.zona, true);
            break;
        case PrinterBackend::JobState::Failed:
            m_journal.fallita(b.id, u"lavoro "_s + b.consegna + u" annullato o interrotto"_s, adesso, false);
            segnaZona(b.zona, false);
            break;
        case PrinterBackend::JobState::Pending:
            // Not printed within FailoverSeconds (queue stopped, printer off or out of paper): the job
            // is withdrawn, so it cannot come out later beside the ticket's retry or its backup.
            if (adesso - b.ultimoTentativo < secondiFailover())
                break;
            if (!backend->cancelJob(b.consegna)) {
                qCWarning(lcJournal).noquote() << "lavoro" << b.consegna << "del biglietto" << b.id << "non annullato";
                break;
            }
            qCWarning(lcJournal).noquote() << "lavoro" << b.consegna << "della comanda" << b.comanda
                                           << "non stampato in tempo: annullato, il biglietto è di nuovo dovuto";
            m_journal.fallita(b.id,
                              u"lavoro "_s + b.consegna + u" non stampato entro "_s
                                  + QString::number(secondiFailover()) + u" s, annullato"_s,
                              adesso, false);
            segnaZona(b.zona, false);
            break;
        }
    }
}

int TicketDelivery::riprova()
{
    if (m_inCorso)
        return 0;
    m_inCorso = true;
    auto fine = qScopeGuard([this] { m_inCorso = false; });
    seguiLavori();
    int stampati = 0;
    const auto dovute = m_journal.leggi(u"stato IN (0, 3)"_s);
    const QString file = dovute.isEmpty() ? QString() : m_form.fileComanda();
    for (const auto &b : dovute) {
        if (b.genere == TicketJournal::MessaggioCucina) {
            stampati += consegnaDocumento(b) ? 1 : 0; // a message belongs to no order
            continue;
        }
        bool esiste = true;
        const bool aperta = comandaAperta(b.comanda, &esiste);
        if (!esiste) {
            qCWarning(lcJournal).noquote() << "biglietto" << b.id << "della comanda" << b.comanda
                                           << "scartato: la comanda non è più nel database";
            m_journal.elimina(b.id);
            continue;
        }
        if (aperta && (b.genere == TicketJournal::Comanda ? consegna(b, file) : consegnaDocumento(b)))
            ++stampati;
    }
    aggiornaDovute();
    return stampati;
}

std::optional<QString> TicketDelivery::fileConsegnato(const TicketJournal::Biglietto &b)
{
    auto *spool = dynamic_cast<SpoolPrinter *>(m_form.vp().backend());
    if (!spool)
        return std::nullopt;
    const QDir cartella(spool->folderOf(b.stampante));
    QSet<QString> presi;
    for (const auto &altro : m_journal.leggi(u"stato IN (2, 4) AND consegna <> ''"_s))
        presi.insert(QFileInfo(altro.consegna).fileName());
    const QDateTime limite = QDateTime::currentDateTime().addDays(-1);
    for (const QFileInfo &f : cartella.entryInfoList({u"*.txt"_s}, QDir::Files, QDir::Name | QDir::Reversed)) {
        if (f.lastModified() < limite)
            break;
        const QString pdf = f.completeBaseName() + u".pdf"_s;
        if (presi.contains(pdf))
            continue;
        QFile file(f.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString h =
            QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex());
        if (h == b.impronta)
            return cartella.filePath(pdf);
    }
    return QString();
}

int TicketDelivery::recupera()
{
    if (!m_journal.prepara())
        return 0;
    sfoltisci();
    PrinterBackend *backend = m_form.vp().backend();
    for (const auto &b : m_journal.leggi(u"stato = 1"_s)) {
        if (!b.consegna.isEmpty() && backend && backend->tracksJobs()) {
            // The spooler had taken it: its job says whether it printed.
            const auto stato = backend->jobState(b.consegna);
            if (stato == PrinterBackend::JobState::Completed) {
                m_journal.stampata(b.id, b.consegna);
                continue;
            }
            if (stato == PrinterBackend::JobState::Pending)
                continue; // followed on by seguiLavori
            const bool dubbio = stato == PrinterBackend::JobState::Unknown;
            qCWarning(lcJournal).noquote() << "biglietto" << b.id << "della comanda" << b.comanda << "lavoro" << b.consegna
                                           << (dubbio ? "sconosciuto a CUPS: ristampato come RISTAMPA"
                                                      : "annullato o interrotto: stampato ora");
            m_journal.cambiaStato(b.id, TicketJournal::Fallita, b.ristampa || dubbio);
            continue;
        }
        const auto file = fileConsegnato(b);
        if (file && !file->isEmpty()) {
            qCInfo(lcJournal).noquote() << "biglietto" << b.id << "della comanda" << b.comanda << "arrivato in" << *file
                                        << "prima dell'arresto: non ristampato";
            m_journal.stampata(b.id, *file, TicketJournal::Stampata);
        } else {
            // A spool folder without the ticket never received it; a spooler cannot be asked, so
            // the ticket prints again saying it may be a second copy.
            const bool dubbio = !file.has_value();
            qCWarning(lcJournal).noquote() << "biglietto" << b.id << "della comanda" << b.comanda
                                           << (dubbio ? "forse stampato prima dell'arresto: ristampato come copia"
                                                      : "mai arrivato alla stampante: stampato ora");
            m_journal.cambiaStato(b.id, TicketJournal::Fallita, b.ristampa || dubbio);
        }
    }
    return riprova();
}

int TicketDelivery::ristampa(qint32 idComanda, std::optional<qint32> zona)
{
    QString where = u"su_richiesta = 0 AND documento = 0 AND id_comanda = "_s + QString::number(idComanda);
    if (zona)
        where += u" AND zona = "_s + QString::number(*zona);
    QList<TicketJournal::Biglietto> righe = m_journal.leggi(where);
    if (righe.isEmpty())
        return -1;
    // One ticket per zone with every dish the zone was sent for the order, in the order they came.
    QList<TicketJournal::Biglietto> perZona;
    for (const auto &b : righe) {
        auto it = std::find_if(perZona.begin(), perZona.end(), [&](const auto &z) { return z.zona == b.zona; });
        if (it == perZona.end())
            perZona.append(b);
        else
            it->righe += b.righe;
    }
    if (m_inCorso)
        return 0;
    int stampati = 0;
    const double adesso = modPlikoServer::momentoAttuale();
    const QString file = m_form.fileComanda();
    for (auto b : perZona) {
        b.id = 0;
        b.stato = TicketJournal::Dovuta;
        b.tentativi = 0;
        b.ristampa = true;
        b.suRichiesta = true;
        b.creata = adesso;
        b.ora = frmStampeDocumenti::oraCorrente();
        b.impronta.clear();
        b.consegna.clear();
        b.errore.clear();
        b.id = m_journal.aggiungi(b);
        if (b.id == 0)
            continue;
        m_inCorso = true;
        const bool ok = consegna(b, file);
        m_inCorso = false;
        stampati += ok ? 1 : 0;
        if (!ok)
            continue;
        // The full copy carries every dish the zone still owed: those tickets are done with it, or a
        // retry would print their dishes a second time.
        const auto fatta = m_journal.leggiUno(b.id);
        for (const auto &r : righe)
            if (r.zona == b.zona && (r.stato == TicketJournal::Dovuta || r.stato == TicketJournal::Fallita))
                m_journal.stampata(r.id, fatta ? fatta->consegna : QString());
    }
    aggiornaDovute();
    return stampati;
}

QMap<QString, qint64> TicketDelivery::dovutePerZona()
{
    QMap<QString, qint64> out;
    for (const auto &b : m_journal.daStampare())
        ++out[frmStampeDocumenti::nomeTipoStampante(b.zona)];
    return out;
}

int TicketDelivery::sfoltisci()
{
    return m_journal.sfoltisci(modPlikoServer::momentoAttuale() - GiornoDiServizio);
}
