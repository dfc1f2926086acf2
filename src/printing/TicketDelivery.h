// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TicketJournal.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class clsDatabase;
class frmStampeDocumenti;
class OperatorUi;
class Registry;

// Kitchen tickets through the print journal: an order's tickets are journalled (and its lines
// marked) in one transaction, then handed to their printers; each hand-over is recorded before it
// happens and confirmed after, so a stop at any point leaves a ticket owed, or sent and checkable
// against its printer, never lost and never printed twice. Failed tickets are retried, and after
// `FailoverSeconds` go to the zone's backup printer when it has one.
class TicketDelivery
{
public:
    static inline const QString EtichettaRiprova = QStringLiteral("RIPROVA - ");
    static inline const QString RigaRiserva = QStringLiteral(" - STAMPANTE DI RISERVA");

    TicketDelivery(frmStampeDocumenti &form, clsDatabase &db, Registry &registry, OperatorUi *ui);

    // Journals what the order still has to print, one ticket per zone with a printer, and prints the
    // order's owed tickets. A reprint labels them so.
    void stampaComanda(qint32 idComanda, const QString &tavoli, bool ristampa);
    // A document a waiter asked for (pre-bill, order list, kitchen message: TicketJournal::Genere),
    // journalled before it prints so that a printer that fails owes it like a kitchen ticket: it is
    // retried, moves to the backup printer of its printer type, and shows in the pending list.
    // `tipo` is the printer type it prints on. True when it printed (or had nothing to print).
    bool documento(int genere, qint32 idComanda, qint32 tipo, const QString &tavoli, const QString &testo = {});
    // Prints again every owed or failed ticket of open orders (and owed kitchen messages); how many printed.
    int riprova();
    // Start-up: tickets left "sent" by a stop are checked against their printer (printed ones
    // confirmed, the rest owed again, marked as reprints where it cannot be known), then retried.
    int recupera();
    // Prints an order's tickets again in full, marked as reprints (one zone, or all). Returns how
    // many tickets were printed, -1 when the order has none journalled (for that zone).
    int ristampa(qint32 idComanda, std::optional<qint32> zona);
    // Drops rows older than a service day.
    int sfoltisci();
    // Tickets still to print per zone name (a zone owing none is absent).
    QMap<QString, qint64> dovutePerZona();

    TicketJournal &journal() { return m_journal; }

    // Told of each zone outage (the zone's own printer failing) and of its end.
    using AvvisoZona = std::function<void(qint32 zona, bool guasta)>;
    void setAvvisoZona(AvvisoZona avviso) { m_avviso = std::move(avviso); }
    // Told of each ticket printed: its zone, seconds from owed to printed, and whether it went to the backup printer.
    using EsitoBiglietto = std::function<void(qint32 zona, double secondi, bool riserva, bool ok)>;
    void setEsitoBiglietto(EsitoBiglietto esito) { m_esito = std::move(esito); }
    // Told of the tickets owed per zone whenever they may have changed (a ticket failed, or some were owed).
    using Dovute = std::function<void(const QMap<QString, qint64> &perZona)>;
    void setDovute(Dovute dovute) { m_dovute = std::move(dovute); }
    // Told when an order's new tickets are journalled and committed (kitchen screens show them).
    using NuoviBiglietti = std::function<void(qint32 comanda)>;
    void setNuoviBiglietti(NuoviBiglietti avviso) { m_nuovi = std::move(avviso); }
    void avvisaNuovi(qint32 comanda)
    {
        if (m_nuovi)
            m_nuovi(comanda);
    }
    // Whether a zone has a kitchen screen ([PlikoServer] ScreenZones): its tickets are journalled
    // even without a printer.
    bool haSchermo(qint32 zona) const;
    bool zonaGuasta(qint32 zona) const { return m_zoneGuaste.contains(zona); }
    QList<qint32> zoneGuaste() const { return m_zoneGuaste.values(); }

    // The backup printer configured for a zone ([PlikoServer] BackupPrinter_<zone>).
    QString stampanteRiserva(qint32 zona) const;
    int secondiFailover() const;

    // Journals what the order still has to print and marks those lines, in one transaction (the
    // caller's when one is open). False when nothing could be journalled.
    bool registra(qint32 idComanda, const QString &tavoli, bool ristampa);

private:
    // Hands one ticket over; true when its printer took it.
    bool consegna(TicketJournal::Biglietto b, const QString &file);
    // The same for a journalled document; true when it printed or had nothing to print.
    bool consegnaDocumento(const TicketJournal::Biglietto &b);
    // The printer a row goes to now: its own, or the backup once FailoverSeconds have passed.
    bool suRiserva(const TicketJournal::Biglietto &b, double adesso, const QString &propria) const;
    // Whether a ticket left "sent" reached its spool folder (its text is there, unclaimed).
    std::optional<QString> fileConsegnato(const TicketJournal::Biglietto &b);
    bool comandaAperta(qint32 idComanda, bool *esiste);
    // Tickets a spooler took and has not printed: confirmed when their job completed, owed again
    // when it failed or was still pending after FailoverSeconds (then cancelled).
    void seguiLavori();
    void segnaZona(qint32 z, bool ok);
    // Reports the owed tickets when something may be owed; a healthy round costs no query.
    void aggiornaDovute();

    frmStampeDocumenti &m_form;
    clsDatabase &m_db;
    Registry &m_registry;
    OperatorUi *m_ui;
    TicketJournal m_journal;
    bool m_inCorso = false;
    struct Attesa
    {
        qint32 comanda;
        QString tavoli;
        bool ristampa;
    };
    QList<Attesa> m_inAttesa; // orders that came while tickets were going out
    QSet<qint32> m_zoneGuaste;
    AvvisoZona m_avviso;
    EsitoBiglietto m_esito;
    Dovute m_dovute;
    bool m_forseDovute = true; // the last count was not zero, or a ticket failed since
    NuoviBiglietti m_nuovi;
};
