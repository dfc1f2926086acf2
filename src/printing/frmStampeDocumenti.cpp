// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmStampeDocumenti.h"

#include "ErrorRoutine.h"
#include "OperatorUi.h"
#include "Registry.h"
#include "TicketDelivery.h"
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

void guasto(const QString &label, const QString &text)
{
    diagnostics::reportFault(label, text);
}

} // namespace

frmStampeDocumenti::frmStampeDocumenti(clsDatabase &db, Registry &registry, OperatorUi *ui, const QString &layoutDir)
    : m_db(db), m_registry(registry), m_ui(ui), m_cartellaLayout(layoutDir), m_vp(registry),
      m_consegna(std::make_unique<TicketDelivery>(*this, db, registry, ui))
{
}

frmStampeDocumenti::~frmStampeDocumenti() = default;

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
    if (m_silenzioso)
        qCWarning(lcTickets).noquote() << text;
    else if (m_ui)
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
        guasto(u"setModuloXML"_s,
            file + u": il campo \"versione\" del documento \""_s + report + u"\" deve essere un numero intero, non \""_s
                + text + u'"');
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
            guasto(u"stampa"_s, errore.isEmpty() ? file + u": nessun documento di nome \""_s + r + u'"' : errore);
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
    QString valore = tipi::toText(m_registry.backOffice(u"zona_ristorante_"_s + nomeTipoStampante(tipo)));
    if (!m_sostituta.isEmpty()) // a backup printer keeps the page setting of the printer it stands in for
        valore = m_sostituta + (valore.contains(u'|') ? valore.mid(valore.indexOf(u'|')) : QString());
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
                                        const std::function<void(ReportEngine &)> &preparaSub,
                                        const std::function<bool(const RenderedDocument &)> &primaDellInvio)
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
    if (primaDellInvio && !primaDellInvio(*m_vp.document()))
        return false;
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
