// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmStampeDocumenti.h"

#include "ErrorRoutine.h"
#include "OperatorUi.h"
#include "Registry.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>
#include <exception>

Q_LOGGING_CATEGORY(lcTickets, "pliko.tickets")

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

frmStampeDocumenti::frmStampeDocumenti(clsDatabase &db, Registry &registry, OperatorUi *ui, const QString &layoutDir)
    : m_db(db), m_registry(registry), m_ui(ui), m_cartellaLayout(layoutDir), m_vp(registry)
{
}

QString frmStampeDocumenti::cartellaLayout() const
{
    if (!m_cartellaLayout.isEmpty())
        return m_cartellaLayout;
    // Beside the program in a build folder; in an installation, the shared data folder.
    const QDir program(QCoreApplication::applicationDirPath());
    if (!QFileInfo::exists(program.filePath(u"stampeRestaurant.xml"_s))
        && QFileInfo::exists(program.filePath(u"../share/plikoserver/stampeRestaurant.xml"_s)))
        return QDir::cleanPath(program.filePath(u"../share/plikoserver"_s));
    return program.path();
}

void frmStampeDocumenti::messaggio(const QString &text) const
{
    if (m_ui)
        m_ui->message(text, OperatorUi::Icon::None);
}

void frmStampeDocumenti::inizioStampa()
{
    m_messaggio = u"Elaborazione della stampa in corso \r\nattendere prego"_s;
    if (m_ui)
        m_ui->beginBusy();
}

void frmStampeDocumenti::fineStampa()
{
    if (m_ui && m_ui->busyDepth() > 0)
        m_ui->endBusy();
}

// ---- Layout files --------------------------------------------------------------------------------

QString frmStampeDocumenti::versione(const QString &file, const QString &report, bool *ok)
{
    *ok = false;
    if (!m_vsr.load(file, report)) {
        guasto(u"setModuloXML"_s, m_vsr.lastError());
        return {};
    }
    const QString text = m_vsr.fieldText(u"versione"_s);
    m_vsr.clear();
    qint64 v = 0;
    if (!tipi::parseWhole(text, &v)) {
        guasto(u"setModuloXML"_s, file + u": the field \"versione\" of report \""_s + report
                                      + u"\" must hold a whole number, not \""_s + text + u'"');
        return {};
    }
    *ok = true;
    return QString::number(v);
}

QString frmStampeDocumenti::setModuloXML(const QString &report, const QString &file)
{
    const QDir dir(cartellaLayout());
    const QString standard = dir.filePath(file);
    const QString custom = dir.filePath(FileCustom);
    bool ok = false;
    const qint64 versioneStandard = versione(standard, report, &ok).toLongLong();
    if (!ok)
        return {};
    if (!QFileInfo::exists(custom))
        return standard;
    QString errore;
    const QStringList nomi = ReportEngine::reportList(custom, &errore).split(u'\t');
    if (!errore.isEmpty()) {
        // A custom file we cannot read must not stop the tickets: the standard layouts print.
        guasto(u"setModuloXML"_s, errore);
        return standard;
    }
    if (!nomi.contains(report))
        return standard;
    const qint64 versioneCustom = versione(custom, report, &ok).toLongLong();
    if (!ok)
        return standard;
    if (versioneCustom < versioneStandard && m_ui)
        m_ui->message(MsgCustomVecchio, OperatorUi::Icon::Information);
    return custom;
}

bool frmStampeDocumenti::reportPresenti(const QString &file, const QStringList &reports) const
{
    QString errore;
    const QStringList nomi = ReportEngine::reportList(file, &errore).split(u'\t');
    for (const auto &r : reports)
        if (!r.isEmpty() && !nomi.contains(r)) {
            guasto(u"stampa"_s, errore.isEmpty() ? file + u": no report named \""_s + r + u'"' : errore);
            return false;
        }
    return true;
}

// ---- Printers ------------------------------------------------------------------------------------

QString frmStampeDocumenti::nomeTipoStampante(qint32 tipo)
{
    switch (tipo) {
    case 1:
        return u"cassa"_s;
    case 2:
        return u"cucina"_s;
    case 3:
        return u"pizzeria"_s;
    case 4:
        return u"bar"_s;
    case 5:
        return u"scontrino"_s;
    case 6:
        return u"fattura"_s;
    case 7:
        return u"preconto"_s;
    default:
        return {};
    }
}

bool frmStampeDocumenti::leggiStampante(qint32 tipo, QString &stampante, qint32 &impostazione) const
{
    const QString valore = tipi::toText(m_registry.backOffice(u"zona_ristorante_"_s + nomeTipoStampante(tipo)));
    if (valore.isEmpty()) {
        stampante.clear();
        impostazione = PaperSize::A4;
        return false;
    }
    const qsizetype bar = valore.indexOf(u'|');
    stampante = bar < 0 ? valore : valore.left(bar);
    const QString dopo = bar < 0 ? QString() : valore.mid(bar + 1).section(u'|', 0, 0);
    impostazione = bar < 0 ? 0 : tipi::toLong(dopo.trimmed());
    if (impostazione == 0)
        impostazione = PaperSize::A4;
    return true;
}

// ---- The shared print path -----------------------------------------------------------------------

QString frmStampeDocumenti::oraCorrente()
{
    const QTime t = tipi::now().time();
    return QString::number(t.hour()) + u':' + QString::number(t.minute()).rightJustified(2, u'0');
}

frmStampeDocumenti::CampiIntestazione frmStampeDocumenti::intestazione(qint32 idComanda, const QString &tavoli,
                                                                       const QString &etichettaOra) const
{
    return {{u"numeroTavolo"_s, u"** TAVOLO "_s + tavoli + u" **"_s},
            {u"oraComanda"_s, etichettaOra + oraCorrente()},
            {u"operatore"_s, u"Cameriere: "_s + modPlikoServer(m_db).nomeOperatore(idComanda, true)}};
}

void frmStampeDocumenti::aggiungiGruppoTurni(ReportEngine &sub)
{
    ReportGroup *g = sub.addGroup(u"GrpTipi"_s, u"campo_3"_s, 1);
    if (!g)
        return;
    g->header.visible = true;
    g->header.height = 500;
    ReportField f;
    f.name = u"CtlTipi"_s;
    f.kind = ReportField::Kind::Expression;
    f.expression = u"campo_3"_s;
    f.left = 250;
    f.top = 0;
    f.width = 4000;
    f.height = 500;
    f.font.size = 12;
    f.font.bold = true;
    f.font.underline = true;
    g->header.fields.append(f);
}

bool frmStampeDocumenti::caricaReport(const QString &file, const QString &report, const QString &subReport,
                                      const CampiIntestazione &campi)
{
    bool ok = m_vsr.load(file, report);
    if (!ok)
        guasto(u"caricaReport"_s, m_vsr.lastError());
    if (!subReport.isEmpty() && !m_vsrSub.load(file, subReport)) {
        guasto(u"caricaReport"_s, m_vsrSub.lastError());
        ok = false;
    }
    // A header field the layout leaves out is simply not printed.
    for (const auto &[name, text] : campi)
        m_vsr.setFieldText(name, text);
    return ok;
}

bool frmStampeDocumenti::selezionaStampante(const QString &stampante)
{
    if (m_vp.setDevice(stampante))
        return true;
    guasto(u"selezionaStampante"_s, m_vp.lastError());
    messaggio(MsgConfigurazioneStampante);
    m_vsr.clear();
    m_vsrSub.clear();
    return false;
}

bool frmStampeDocumenti::stampaCaricato(cReportData *dati, const QString &campoSub, const QString &titolo,
                                        const std::function<void(ReportEngine &)> &preparaSub)
{
    if (!campoSub.isEmpty()) {
        // A layout without the field that shows the rows would print a ticket without its dishes.
        if (!m_vsrSub.isLoaded() || !m_vsr.setSubreport(campoSub, &m_vsrSub)) {
            guasto(u"stampaCaricato"_s, m_vsr.lastError().isEmpty() ? m_vsrSub.lastError() : m_vsr.lastError());
            messaggio(MsgErroreStampa + m_vp.device());
            return false;
        }
        m_vsrSub.setRecordset(dati);
        if (preparaSub)
            preparaSub(m_vsrSub);
    } else {
        m_vsr.setRecordset(dati);
    }
    auto doc = m_vsr.render(m_vp.paper());
    m_vsr.setRecordset(nullptr);
    m_vsrSub.setRecordset(nullptr);
    if (!doc) {
        guasto(u"stampaCaricato"_s, m_vsr.lastError());
        return false;
    }
    m_vp.setDocument(std::move(*doc));
    if (!m_vp.printDocument(titolo)) {
        guasto(u"stampaCaricato"_s, m_vp.lastError());
        messaggio(MsgErroreStampa + m_vp.device());
        return false;
    }
    return true;
}

bool frmStampeDocumenti::stampaReport(const QString &file, const QString &report, const QString &subReport,
                                      const CampiIntestazione &campi, cReportData *dati, const QString &titolo,
                                      const std::function<void(ReportEngine &)> &preparaSub)
{
    if (!caricaReport(file, report, subReport, campi))
        return false;
    return stampaCaricato(dati, subReport, titolo, preparaSub);
}

frmStampeDocumenti::Esito frmStampeDocumenti::stampaDocumento(const Documento &d)
{
    if (m_vsr.isBusy())
        return Esito::Occupato;
    const QString file = setModuloXML(d.reportModulo, FileStandard);
    if (file.isEmpty())
        return Esito::ErroreLayout;
    QString stampante;
    qint32 impostazione = PaperSize::A4;
    if (!leggiStampante(d.tipo, stampante, impostazione))
        return Esito::SenzaStampante;
    m_vsr.clear();
    m_vsrSub.clear();
    m_vp.startAfresh();
    if (!selezionaStampante(stampante))
        return Esito::ErroreStampante;
    if (!m_vp.setPaperSize(impostazione)) {
        guasto(u"stampaDocumento"_s, m_vp.lastError());
        messaggio(MsgImpostazioneStampante);
        return Esito::ErroreStampante;
    }
    cReportData dati;
    qint32 righe = 1;
    try {
        if (d.dati)
            righe = d.dati(dati);
    } catch (const std::exception &e) {
        guasto(u"stampaDocumento"_s, QString::fromUtf8(e.what()));
        return Esito::ErroreStampante;
    }
    if (righe <= 0)
        return Esito::NienteDaStampare;
    if (!caricaReport(file, d.report, d.subReport, d.campi))
        return Esito::ErroreLayout;
    return stampaCaricato(d.dati ? &dati : nullptr, d.subReport, d.titolo, d.preparaSub) ? Esito::Stampato
                                                                                         : Esito::ErroreStampante;
}

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
    // The lines still to print as the tickets start: the marking below touches only these, never a
    // line that another request added while the tickets were printing.
    QList<qint32> daStampare;
    if (auto rs = m_db.openDynaset(u"SELECT id_merce_comanda FROM merce_comande WHERE qta_stampata < quantita "
                                   "AND id_comanda = "_s
                                   + QString::number(idComanda))) {
        for (; !rs->isEOF(); rs->moveNext())
            daStampare.append(tipi::toLong(rs->value(u"id_merce_comanda"_s)));
    } else {
        guasto(u"stampaComanda"_s, m_db.lastErrorText());
        return;
    }
    // No printer and nothing left to mark (order recording marked the lines with the order): no
    // ticket is owed, so what a zone printed of the order before is forgotten, as after a print.
    if (daStampare.isEmpty() && !stampantiComanda()) {
        m_giaStampato.remove(idComanda);
        return;
    }
    const QString file = setModuloXML(u"Comanda"_s, FileStandard);
    // Without a usable layout nothing can print: the lines stay unprinted for the next order.
    if (file.isEmpty() || !reportPresenti(file, {u"Comanda"_s, u"Comanda SubReport"_s}))
        return;

    // Each zone prints on its own: a kitchen printer that fails takes no other zone's ticket with it.
    // A line is marked printed once every ticket that carried it went out; the lines of a zone that
    // failed stay unprinted and print with the next order of the table, and a zone that did print
    // them remembers so, so that it never prints the same dishes twice.
    const GiaStampatoComanda gia = m_giaStampato.value(idComanda);
    struct Copertura
    {
        qint32 zona;
        qint32 id;
        QString chiave;
        double quantita;
    };
    QList<Copertura> coperture;   // what each zone has on paper of the lines still to print
    QSet<qint32> nonUscite;       // lines on a ticket that did not go out
    bool letturaFallita = false;  // a zone whose lines could not be read: nothing is marked
    for (const qint32 zona : ZoneComanda) {
        QString stampante;
        qint32 impostazione = PaperSize::A4;
        leggiStampante(zona, stampante, impostazione);
        if (stampante.isEmpty())
            continue;
        m_vsr.clear();
        m_vsrSub.clear();
        if (!m_vp.startAfresh())
            messaggio(MsgErroreStampa + stampante);

        QList<RigaComanda> righe;
        if (!leggiRigheComanda(idComanda, zona, true, righe)) {
            letturaFallita = true;
            continue;
        }
        // What this zone printed already, while another zone's ticket of the same dishes failed.
        QHash<QString, double> credito = gia.value(zona);
        QList<RigaComanda> ticket;
        QList<double> giaCoperta;
        for (const RigaComanda &r : righe) {
            double &c = credito[chiaveRiga(r)];
            const double coperta = std::min(c, r.quantita);
            c -= coperta;
            giaCoperta.append(coperta);
            if (r.quantita - coperta > 0) {
                ticket.append(r);
                ticket.last().quantita -= coperta;
            }
        }

        bool uscito = ticket.isEmpty();
        if (!ticket.isEmpty()) {
            try {
                cReportData dati;
                qint16 riga = 0;
                scriviRigheComanda(ticket, dati, riga);
                caricaReport(file, u"Comanda"_s, u"Comanda SubReport"_s,
                             intestazione(idComanda, tavoli,
                                          (ristampa ? EtichettaRistampa : QString()) + u"Comanda delle ore: "_s));
                if (!m_vp.setDevice(stampante)) {
                    guasto(u"selezionaStampante"_s, m_vp.lastError());
                    messaggio(MsgConfigurazioneStampante + u" ("_s + stampante + u')');
                    m_vsr.clear();
                    m_vsrSub.clear();
                } else {
                    m_vp.setPaperSize(impostazione);
                    uscito = stampaCaricato(&dati, u"Comanda SubReport"_s, titoloComanda(tavoli, zona),
                                            aggiungiGruppoTurni);
                }
            } catch (const std::exception &e) {
                guasto(u"stampaComanda"_s, QString::fromUtf8(e.what()));
            }
        }
        if (!uscito) {
            qCWarning(lcTickets).noquote() << "order" << idComanda << ": the ticket of zone" << nomeTipoStampante(zona)
                                           << "did not print on" << stampante
                                           << "- its lines print with the next order of the table";
            for (const auto &r : std::as_const(ticket))
                nonUscite.insert(r.id);
        }
        for (qsizetype i = 0; i < righe.size(); ++i)
            coperture.append({zona, righe[i].id, chiaveRiga(righe[i]), uscito ? righe[i].quantita : giaCoperta[i]});
    }

    // What stays unprinted is remembered with what each zone already has on paper of it.
    GiaStampatoComanda resta;
    for (const auto &c : std::as_const(coperture))
        if (c.quantita > 0 && (letturaFallita || nonUscite.contains(c.id)))
            resta[c.zona][c.chiave] += c.quantita;
    if (resta.isEmpty())
        m_giaStampato.remove(idComanda);
    else
        ricordaStampato(idComanda, resta);
    if (letturaFallita)
        return;
    QStringList daMarcare;
    for (const qint32 id : std::as_const(daStampare))
        if (!nonUscite.contains(id))
            daMarcare.append(QString::number(id));
    if (!daMarcare.isEmpty())
        m_db.doQuery(u"UPDATE merce_comande SET qta_stampata = quantita WHERE id_comanda = "_s
                     + QString::number(idComanda) + u" AND id_merce_comanda IN ("_s + daMarcare.join(u',') + u')');
}

bool frmStampeDocumenti::stampantiComanda() const
{
    for (const qint32 zona : ZoneComanda) {
        QString stampante;
        qint32 impostazione = PaperSize::A4;
        leggiStampante(zona, stampante, impostazione);
        if (!stampante.isEmpty())
            return true;
    }
    return false;
}

bool frmStampeDocumenti::soloMarcaturaComanda()
{
    if (m_vsr.isBusy() || stampantiComanda())
        return false;
    // A missing layout keeps the lines unprinted, as stampaComanda does.
    const QString file = setModuloXML(u"Comanda"_s, FileStandard);
    return !file.isEmpty() && reportPresenti(file, {u"Comanda"_s, u"Comanda SubReport"_s});
}

QString frmStampeDocumenti::chiaveRiga(const RigaComanda &r)
{
    return r.descrizione + u'\n' + r.turno + u'\n' + r.variazioni.join(u'\n');
}

void frmStampeDocumenti::ricordaStampato(qint32 idComanda, const GiaStampatoComanda &gia)
{
    // Orders whose failed zone never prints again (a printer gone for good) are forgotten in the end.
    constexpr qsizetype MaxComande = 1000;
    if (!m_giaStampato.contains(idComanda) && m_giaStampato.size() >= MaxComande)
        m_giaStampato.clear();
    m_giaStampato.insert(idComanda, gia);
}

void frmStampeDocumenti::stampaComandaNano(qint32 idComanda, const QString &tavoli, const SnapshotRighe &prima,
                                           const SnapshotRighe &dopo)
{
    if (m_vsr.isBusy())
        return;
    const QString file = setModuloXML(u"Comanda"_s, FileStandard);
    if (file.isEmpty() || !reportPresenti(file, {u"Comanda"_s, u"Comanda SubReport"_s}))
        return;
    for (const qint32 zona : ZoneComanda) {
        QString stampante;
        qint32 impostazione = PaperSize::A4;
        leggiStampante(zona, stampante, impostazione);
        if (stampante.isEmpty())
            continue;
        m_vsr.clear();
        m_vsrSub.clear();
        m_vp.startAfresh();
        if (!selezionaStampante(stampante))
            continue; // each zone prints on its own
        if (!m_vp.setPaperSize(impostazione)) {
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
                dati.setDati(riga, 1, tipi::numberText(quantita));
                dati.setDati(riga, 2, tipi::toText(rs->value(u"descrizione"_s)).trimmed());
                dati.setDati(riga, 3, turno);
                dati.addRighe(1);
                ++riga;
                if (auto vr = m_db.openDynaset(queryVariazioni(rs->value(u"id_merce_comanda"_s)))) {
                    for (; !vr->isEOF(); vr->moveNext()) {
                        dati.setDati(riga, 2, modPlikoServer::rigaVariazione(tipi::toText(vr->value(u"descrizione"_s))));
                        dati.setDati(riga, 3, turno);
                        dati.addRighe(1);
                        ++riga;
                    }
                }
            }
        } catch (const std::exception &e) {
            guasto(u"stampaComandaNano"_s, QString::fromUtf8(e.what()));
            continue;
        }
        rs.reset();
        if (riga <= 0)
            continue;

        caricaReport(file, u"Comanda"_s, u"Comanda SubReport"_s,
                     intestazione(idComanda, tavoli, u"Comanda delle ore: "_s));
        if (!selezionaStampante(stampante))
            continue; // each zone prints on its own
        if (stampaCaricato(&dati, u"Comanda SubReport"_s, titoloComanda(tavoli, zona), aggiungiGruppoTurni))
            m_db.doQuery(u"UPDATE merce_comande SET qta_stampata = quantita WHERE id_comanda = "_s
                         + QString::number(idComanda));
    }
}
