// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PrintControl.h"
#include "ReportEngine.h"
#include "SnapshotRighe.h"
#include "TicketJournal.h"
#include "cReportData.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QString>
#include <functional>
#include <memory>
#include <utility>

class clsDatabase;
class OperatorUi;
class Registry;
class TicketDelivery;

// The print window: the report engines (vsr for the main report, vsrSub for its subreport), the
// print control vp, and every print operation of the server. It is never shown: operations render
// straight to the printer of their document type, as the back office configured it. Printing does
// not yield to the event loop, so it can run inside an open transaction.
class frmStampeDocumenti
{
public:
    static inline const QString FileStandard = QStringLiteral("stampeRestaurant.xml");
    static inline const QString FileCustom = QStringLiteral("StampeCustom.xml");

    static inline const QString MsgConfigurazioneStampante = QStringLiteral(
        "Errore nella configurazione della stampante, controllare le impostazioni della stampante e riprovare.");
    static inline const QString MsgImpostazioneStampante =
        QStringLiteral("Errore durante l'impostazione della stampante");
    static inline const QString MsgErroreStampa = QStringLiteral("Errore nella stampa. Impossibile stampare su: ");
    static inline const QString MsgCustomVecchio = QStringLiteral(
        "Attenzione! Si sta usando un report custom piu' vecchio rispetto a quello fornito alla Orvanta. "
        "Aggiornare il prioprio report.");

    // Header fields of a main report, by field name.
    using CampiIntestazione = QList<std::pair<QString, QString>>;

    // layoutDir: where stampeRestaurant.xml and StampeCustom.xml are; empty means beside the program.
    frmStampeDocumenti(clsDatabase &db, Registry &registry, OperatorUi *ui, const QString &layoutDir = {});
    ~frmStampeDocumenti();
    frmStampeDocumenti(const frmStampeDocumenti &) = delete;
    frmStampeDocumenti &operator=(const frmStampeDocumenti &) = delete;

    void setCartellaLayout(const QString &dir)
    {
        m_cartellaLayout = dir;
        m_fileComanda.clear();
    }
    QString cartellaLayout() const;

    void inizioStampa();
    void fineStampa();
    QString lbMessaggio() const { return m_messaggio; }

    // The layout file to load report R from: StampeCustom.xml when it holds R (with a warning when its
    // R is older than ours), else the standard file. "" when the standard file lacks R or its version
    // is not a whole number (reported as a fault): the caller then prints nothing.
    QString setModuloXML(const QString &report, const QString &file);

    static QString nomeTipoStampante(qint32 tipo);
    // The printer configured for a document type ("name|page setting"); false when none is.
    bool leggiStampante(qint32 tipo, QString &stampante, qint32 &impostazione) const;

    // Kitchen tickets of what is not printed yet, one per zone, journalled with the lines marked
    // printed, then handed to the zones' printers (see TicketDelivery). A reprint (lines confirmed
    // before a stop and never journalled) says so on each ticket.
    void stampaComanda(qint32 idComanda, const QString &tavoli, bool ristampa = false);
    // Inside an order's transaction: journals the tickets it owes (see TicketDelivery::registra).
    bool registraComanda(qint32 idComanda, const QString &tavoli);
    // The print journal's side: retry, recovery, reprint.
    TicketDelivery &consegna() { return *m_consegna; }
    // The layout file of the kitchen ticket, "" when it lacks the ticket's reports.
    QString fileComanda();
    // Whether stampaComanda would print nothing and only mark the lines: no zone has a ticket
    // printer, the layout is usable and no print is under way. When true, order recording marks
    // the lines of idComanda with the order, and its stampaComanda has nothing left to mark.
    bool soloMarcaturaComanda(qint32 idComanda = 0);
    static inline const QString EtichettaRistampa = QStringLiteral("RISTAMPA - ");
    // Kitchen tickets of what changed between two snapshots of a radio handheld's order.
    void stampaComandaNano(qint32 idComanda, const QString &tavoli, const SnapshotRighe &prima,
                           const SnapshotRighe &dopo);

    // Pre-bill of an order on the pre-bill printer: every line and variation with its amount, or
    // (sintetico) one row per article category; then the total and the amount per person.
    void stampaPreConto(qint32 idComanda, const QString &tavoli);
    void stampaPreContoSintetico(qint32 idComanda, const QString &tavoli);
    // The order list: one row per portion, on the pre-bill printer.
    void stampaListaOrdinazioni(qint32 idComanda, const QString &tavoli);
    // A waiter's message on the printer of a zone (document type); false when it did not print.
    bool stampaMessaggioCucina(qint32 tipo, const QString &testo);
    // Each of the four, journalled through TicketDelivery::documento; these print one journal row (a
    // kitchen message with its own time), on `stampante` instead of the type's printer when given.
    // The plain-text summary of an order-sending test, on the printer the operator chooses (the
    // pre-bill printer when nobody is there to choose). False when nothing was printed.
    bool stampaResocontoTest(const QStringList &righe);
    // How the operator chooses the printer of the test summary: true with the printer chosen,
    // false when the choice was cancelled. Unset: the pre-bill printer, without asking.
    void setSceltaStampante(std::function<bool(QString &stampante)> scelta) { m_sceltaStampante = std::move(scelta); }
    // Told of every print job's outcome.
    void setEsitoStampa(PrintControl::JobObserver esito) { m_vp.setJobObserver(std::move(esito)); }
    // The font of the test summary, or a fixed-pitch one where that font is not installed.
    static QString fontResoconto();

    // --- What the print operations share ---------------------------------------------------------

    enum class Esito { Stampato, NienteDaStampare, Occupato, SenzaStampante, ErroreLayout, ErroreStampante };
    Esito eseguiDocumento(const TicketJournal::Biglietto &b, const QString &stampante);

    struct Documento
    {
        qint32 tipo = 7;                            // document type: whose printer
        QString reportModulo = QStringLiteral("Comanda"); // the report that picks the layout file
        QString report;                             // main report
        QString subReport;                          // its subreport, shown by the field of the same name
        CampiIntestazione campi;                    // header fields
        QString titolo;                             // job title
        // Fills the table (called after the printer is selected); returns how many rows it wrote.
        std::function<qint32(cReportData &)> dati;
        // Further set-up of the subreport engine after loading (groups).
        std::function<void(ReportEngine &)> preparaSub;
    };
    // The common device set-up: busy check, layout file, printer of the type (none: return
    // silently), reset, device (on failure the configuration message), page setting (on failure
    // its message), the rows, and when there is at least one the report printed.
    Esito stampaDocumento(const Documento &d);
    // The pre-bill layout ("Preconto" with its subreport) on the pre-bill printer, with the header
    // fields of an order; the caller adds the rows.
    Documento documentoPreconto(qint32 idComanda, const QString &tavoli, const QString &etichettaOra,
                                const QString &titolo) const;

    // Loads the main report and its subreport from a layout file and writes the header fields.
    bool caricaReport(const QString &file, const QString &report, const QString &subReport,
                      const CampiIntestazione &campi);
    // Selects the printer; on failure shows the configuration message and clears the engine.
    bool selezionaStampante(const QString &stampante);
    // Binds the table to the subreport shown by field campoSub (none when empty), renders the main
    // report and prints it on the selected printer; a job not taken shows the print error message.
    // primaDellInvio, when given, sees the rendered document before it goes out: false stops it.
    bool stampaCaricato(cReportData *dati, const QString &campoSub, const QString &titolo,
                        const std::function<void(ReportEngine &)> &preparaSub = {},
                        const std::function<bool(const RenderedDocument &)> &primaDellInvio = {});
    // Keeps the operator's messages to the log (a zone already known to be failing).
    void setSilenzioso(bool silenzioso) { m_silenzioso = silenzioso; }

    // The ticket table of a zone (the till, 1, has every category): the order's lines not printed yet
    // with what is left to print, or every line in full, each followed by its variations; righe tells
    // how many rows were written. False when the lines could not be read.
    bool riempiComanda(qint32 idComanda, qint32 zona, cReportData &dati, qint16 &righe, bool soloDaStampare = true);

    // One order line of a kitchen ticket with the quantity to print and its variation rows.
    using RigaComanda = RigaBiglietto;
    // The lines of a zone's ticket (the zone's query, the variations of each line); false when
    // they could not be read.
    bool leggiRigheComanda(qint32 idComanda, qint32 zona, bool soloDaStampare, QList<RigaComanda> &righe);
    // The ticket table of those lines, each followed by its variations.
    static void scriviRigheComanda(const QList<RigaComanda> &righe, cReportData &dati, qint16 &scritte);

    // Loads a named report (and its subreport) from a layout file, writes the header fields, binds
    // the table and prints on the printer selected before (selezionaStampante): false when the
    // layout could not be loaded or the job was not taken.
    bool stampaReport(const QString &file, const QString &report, const QString &subReport,
                      const CampiIntestazione &campi, cReportData *dati, const QString &titolo,
                      const std::function<void(ReportEngine &)> &preparaSub = {});

    // "** TAVOLO 5 **", label and "h:mm", "Cameriere: " and the waiter of the order.
    CampiIntestazione intestazione(qint32 idComanda, const QString &tavoli, const QString &etichettaOra) const;
    static QString oraCorrente();
    // The course group of the kitchen ticket: a header "Turno n" over each course's rows.
    static void aggiungiGruppoTurni(ReportEngine &sub);

    ReportEngine &vsr() { return m_vsr; }
    ReportEngine &vsrSub() { return m_vsrSub; }
    PrintControl &vp() { return m_vp; }
    clsDatabase &db() { return m_db; }
    OperatorUi *ui() const { return m_ui; }

private:
    bool registraRadio(qint32 idComanda, qint32 zona, const QString &tavoli, const QString &stampante,
                       bool stampata, TicketJournal::Biglietto b);
    friend class TicketDelivery; // its operator messages go through messaggio()
    bool stampantiComanda() const; // a ticket printer in some zone

    void messaggio(const QString &text) const;
    Esito preconto(qint32 idComanda, const QString &tavoli);
    Esito precontoSintetico(qint32 idComanda, const QString &tavoli);
    Esito listaOrdinazioni(qint32 idComanda, const QString &tavoli);
    Esito messaggioCucina(qint32 tipo, const QString &testo, const QString &ora);
    bool reportPresenti(const QString &file, const QStringList &reports) const;
    QString versione(const QString &file, const QString &report, bool *ok);

    clsDatabase &m_db;
    Registry &m_registry;
    OperatorUi *m_ui;
    QString m_cartellaLayout;
    // The orders whose lines their own recording marked printed, until their stampaComanda: several
    // orders are recorded before the first one's handheld has closed. The oldest go past a bound;
    // such an order is only marked again.
    QList<qint32> m_segnateConComanda;
    QString m_fileComanda;       // the ticket layout last found good, while its file stays as it was
    QString m_timbroFileComanda; // that file's path, size and time
    QElapsedTimer m_fileComandaVisto; // since they were last looked at
    QString m_messaggio;
    ReportEngine m_vsr;
    ReportEngine m_vsrSub;
    PrintControl m_vp;
    std::function<bool(QString &)> m_sceltaStampante;
    bool m_silenzioso = false;
    QString m_sostituta; // the printer a journalled document goes to instead of its type's
    // stampantiComanda's last answer, with the settings and stand-in it was worked out from.
    struct StampantiNote
    {
        bool note = false;
        quint64 generazione = 0;
        QString sostituta;
        bool presenti = false;
    };
    mutable StampantiNote m_stampanti;
    std::unique_ptr<TicketDelivery> m_consegna;
};
