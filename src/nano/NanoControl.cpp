// SPDX-License-Identifier: GPL-3.0-or-later
#include "NanoControl.h"

#include "AccessPoint.h"
#include "CallTrace.h"
#include "NanoExport.h"
#include "OperatorUi.h"
#include "clsDatabase.h"
#include "modNano.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcControl, "pliko.nano.control")

namespace {
constexpr qsizetype MaxLogLines = 1000;
}

NanoControl::NanoControl(AccessPoint &accessPoint, modNano &nano, clsDatabase &db, OperatorUi *ui, bool &nanoAttivo,
                         QObject *parent)
    : QObject(parent), m_ap(accessPoint), m_nano(nano), m_db(db), m_ui(ui), m_nanoAttivo(nanoAttivo)
{
    // The receive loop has logged it: the window's log shows it once as well.
    connect(&m_nano, &modNano::lineaCambiata, this,
            [this](bool persa) { aggiungi(persa ? modNano::LineLost : u"Access point ricollegato"_s); });
}

QString NanoControl::testoStato(Stato stato)
{
    switch (stato) {
    case Stato::ApriConnessione: return u"...Access point trovato"_s;
    case Stato::ChiudiConnessione: return u"...Connessione chiusa "_s;
    case Stato::AbilitaVisibile: return u"...Abilitata modalita' visibile "_s;
    case Stato::DisabilitaVisibile: return u"...Disabilitata modalita' visibile "_s;
    case Stato::AbilitaRicezione: return u"...inizio ricezione ordini"_s;
    case Stato::DisabilitaRicezione: return u"...Disabilitata ricezione"_s;
    }
    return {};
}

bool NanoControl::ricezione() const { return m_nano.ricezioneAttiva(); }

QString NanoControl::stato() const
{
    QString linea = u"non collegato"_s;
    if (m_collegato && m_ap.lineaPersa())
        linea = u"scollegato da "_s + voceCom(m_porta) + u" (riapertura in corso)"_s;
    else if (m_collegato)
        linea = u"collegato su "_s + voceCom(m_porta);
    return u"access point: "_s + linea
           + u"; modalità visibile: "_s + (m_visibile ? u"si"_s : u"no"_s) + u"; ricezione ordini: "_s
           + (ricezione() ? u"attiva"_s : u"ferma"_s)
           + (m_trasferimento ? u"; trasferimento del database: "_s + QString::number(m_percentuale) + u'%' : QString());
}

qint32 NanoControl::comNano() const
{
    const modNano::UsoDatabase uso(m_nano);
    return tipi::toLong(modPlikoServer(m_db).leggiVarStr(u"com_nano"_s, {}).remove(u"COM"_s).trimmed());
}

// The window's buttons share the process-wide set of running click handlers with every other window.
bool NanoControl::entra(const QString &key) { return diagnostics::enterHandler(u"frmNano."_s + key); }

void NanoControl::esci(const QString &key) { diagnostics::leaveHandler(u"frmNano."_s + key); }

void NanoControl::scrivi(const QString &line)
{
    qCInfo(lcControl).noquote() << line;
    aggiungi(line);
}

void NanoControl::aggiungi(const QString &line)
{
    m_log.append(line);
    if (m_log.size() > MaxLogLines)
        m_log.removeFirst();
    emit logLine(line);
}

void NanoControl::cambia(Stato stato)
{
    switch (stato) {
    case Stato::ApriConnessione: m_collegato = true; break;
    case Stato::ChiudiConnessione: m_collegato = false; break;
    case Stato::AbilitaVisibile: m_visibile = true; break;
    case Stato::DisabilitaVisibile: m_visibile = false; break;
    default: break;
    }
    emit statoCambiato(stato);
    scrivi(testoStato(stato));
}

bool NanoControl::verificaAccessPoint()
{
    QString info;
    return m_nano.verificaAccessPoint(info);
}

bool NanoControl::apertura()
{
    QByteArray version(100, ' ');
    m_ap.Dll_GetDllVersion(version);
    if (m_nanoAttivo && verificaAccessPoint()) {
        m_collegato = true;
        m_visibile = false;
        if (m_porta == 0)
            m_porta = comNano();
        return true;
    }
    m_collegato = false;
    m_visibile = false;
    m_nano.disabilitaRicezione();
    m_nanoAttivo = true;
    return false;
}

void NanoControl::collegamentoAvviato()
{
    m_collegato = true;
    m_visibile = false;
    m_porta = comNano();
    // A window already open shows the link without a log line: start-up and the tray log their own.
    emit statoCambiato(Stato::ApriConnessione);
}

bool NanoControl::connettiAccessPoint(qint32 port)
{
    scrivi(u"...Ricerca Access point su "_s + voceCom(port));
    const bool opened = m_ap.Dll_OpenSerial(port) == 1;
    if (opened && verificaAccessPoint()) {
        m_porta = port;
        m_nanoAttivo = true;
        cambia(Stato::ApriConnessione);
        const modNano::UsoDatabase uso(m_nano);
        modPlikoServer(m_db).scriviVarStr(u"com_nano"_s, QString::number(port));
        return true;
    }
    if (opened)
        m_ap.Dll_CloseSerial();
    scrivi(u"...Access point non trovato"_s);
    return false;
}

void NanoControl::chiudiConnessione()
{
    // Reception keeps its state: the operator stops it with its own button.
    m_ap.Dll_CloseSerial();
    cambia(Stato::ChiudiConnessione);
    m_nanoAttivo = false;
}

bool NanoControl::abilitaVisibile()
{
    if (!verificaAccessPoint()) {
        scrivi(u"Access poin non connesso"_s);
        return false;
    }
    m_ap.Dll_EnabledVisibleMode();
    cambia(Stato::AbilitaVisibile);
    return true;
}

void NanoControl::disabilitaVisibile()
{
    m_ap.Dll_DisabledVisibleMode();
    cambia(Stato::DisabilitaVisibile);
}

bool NanoControl::abilitaRicezione()
{
    // Polling and the transfer share the serial line: never both at once.
    if (m_trasferimento) {
        scrivi(u"Trasferimento del database in corso: ricezione non abilitata"_s);
        return false;
    }
    // Handhelds cannot be served while the access point is pairing.
    if (m_visibile)
        disabilitaVisibile();
    if (!verificaAccessPoint()) {
        scrivi(u"Access point non connesso"_s);
        return false;
    }
    m_nano.abilitaRicezione();
    cambia(Stato::AbilitaRicezione);
    return true;
}

void NanoControl::fermaRicezione()
{
    m_nano.disabilitaRicezione();
    cambia(Stato::DisabilitaRicezione);
}

bool NanoControl::inviaDatabase()
{
    // Polling and the transfer share the serial line: never both at once.
    if (m_nano.ricezioneAttiva()) {
        if (m_ui)
            m_ui->message(RifiutoInvio, OperatorUi::Icon::Information);
        scrivi(RifiutoInvio);
        return false;
    }
    disabilitaVisibile();
    // The handhelds' copy is erased only once its replacement is written and checked: a failed
    // export must leave them the menu they have, and the operator must hear of it.
    const QString folder = m_folder ? m_folder() : QString();
    const QString path = folder.isEmpty() ? QString() : QDir(folder).filePath(nano::NomeFileDatabase);
    {
        const modNano::UsoDatabase uso(m_nano);
        if (path.isEmpty() || nano::creaDatabaseNano(m_db, path) == 0) {
            scrivi(EsportazioneFallita);
            return false;
        }
    }
    m_ap.Dll_EraseDB(100, 807);
    if (!m_ap.lastCallAnswered() || m_ap.Dll_OpenDataBase(QDir::toNativeSeparators(path)) != 1) {
        scrivi(EsportazioneFallita);
        return false;
    }
    emit progresso(0);
    scrivi(u"...Inizio trasferimento "_s);
    // Each chunk waits on the access point's thread; the event loop serves everyone meanwhile.
    // A device that keeps answering without finishing is bounded by time as well as by chunks.
    m_trasferimento = true;
    m_percentuale = 0;
    QElapsedTimer durata;
    durata.start();
    qint32 percent = 0;
    do {
        percent = qMin(m_ap.Dll_SendDataBase(), 100);
        if (!m_ap.lastCallAnswered()) {
            // A device that stops answering ends the transfer instead of holding the server.
            return fineTrasferimento(false, u"...Trasferimento interrotto: l'access point non risponde"_s);
        }
        m_percentuale = qMax(percent, 0);
        emit progresso(m_percentuale);
        if (percent != 100 && durata.elapsed() > DurataMassimaTrasferimentoMs)
            return fineTrasferimento(false, u"...Trasferimento interrotto: l'access point non lo completa"_s);
    } while (percent != 100);
    return fineTrasferimento(true, u"...Trasferimento finito"_s);
}

bool NanoControl::fineTrasferimento(bool riuscito, const QString &riga)
{
    m_trasferimento = false;
    scrivi(riga);
    emit progresso(-1);
    return riuscito;
}
