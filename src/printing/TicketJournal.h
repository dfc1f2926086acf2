// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class clsDatabase;

// One dish of a kitchen ticket: the quantity to print, its course and its variation rows.
struct RigaBiglietto
{
    qint32 id = 0; // the order line (merce_comande.id_merce_comanda)
    double quantita = 0;
    QString descrizione;
    QString turno;
    QStringList variazioni;
};

// The print journal: one row of `pliko_stampe` per ticket a zone owes, written in the transaction
// that marks the order's lines printed. The journal, not the process, knows what is owed, sent
// (handed to a printer, not yet confirmed) or printed, so retry, reprint and recovery after a stop
// read one truth. A row carries everything its ticket shows, so it prints (or a kitchen screen shows
// it) the same however late.
class TicketJournal
{
public:
    static inline const QString Tabella = QStringLiteral("pliko_stampe");

    // SoloSchermo: a zone with a kitchen screen and no printer; nothing to print, only to show.
    enum Stato { Dovuta = 0, Inviata = 1, Stampata = 2, Fallita = 3, Spostata = 4, SoloSchermo = 5 };
    // What a row prints: an order's kitchen ticket, or one of the documents a waiter asks for.
    enum Genere { Comanda = 0, Preconto = 1, PrecontoSintetico = 2, ListaOrdinazioni = 3, MessaggioCucina = 4 };

    struct Biglietto
    {
        qint32 id = 0;
        qint32 comanda = 0;
        qint32 zona = 0;
        QString stampante;   // the printer it went to (or goes to)
        int stato = Dovuta;
        int tentativi = 0;
        double creata = 0;   // moment the ticket became owed (the round's time)
        double ultimoTentativo = 0;
        QString tavoli;
        QString cameriere;
        QString ora;         // "h:mm" of the round, as the ticket prints it
        QList<RigaBiglietto> righe;
        QString impronta;    // digest of the text handed to the printer
        QString consegna;    // spool file or CUPS job it became
        QString errore;
        bool ristampa = false;    // printed with the reprint label (a doubt after a stop, or asked for)
        bool suRichiesta = false; // a reprint the operator asked for (not a ticket the order owed)
        int genere = Comanda;
        QString testo;            // a kitchen message's text
        double pronta = 0;        // moment the kitchen screen bumped it ("Fatto"); 0 while it is to make
    };

    explicit TicketJournal(clsDatabase &db) : m_db(db) {}

    // Creates the table in a database that lacks it (new or older ones); false when it cannot be.
    bool prepara();
    // Adds a row (inside the caller's transaction); its key, or 0 on failure.
    qint32 aggiungi(const Biglietto &b);
    // The rows that `where` selects (legacy-dialect condition over pliko_stampe), oldest first.
    QList<Biglietto> leggi(const QString &where);
    std::optional<Biglietto> leggiUno(qint32 id);
    // Still to print: owed, failed, or sent and left unconfirmed; for one order when given.
    QList<Biglietto> daStampare(std::optional<qint32> comanda = {});

    // Each a durable write of one row.
    bool inviata(qint32 id, const QString &stampante, const QString &impronta, double momento);
    bool stampata(qint32 id, const QString &consegna, int stato = Stampata);
    // contaTentativo: the attempt was not counted yet (the ticket never reached "sent").
    bool fallita(qint32 id, const QString &errore, double momento, bool contaTentativo);
    bool cambiaStato(qint32 id, int stato, bool ristampa);
    bool elimina(qint32 id);
    // The kitchen screen's "Fatto" (momento > 0) and "Richiama" (momento 0).
    bool segnaPronta(qint32 id, double momento);
    // Drops rows created before `prima`; how many went.
    int sfoltisci(double prima);

    static QString righeJson(const QList<RigaBiglietto> &righe);
    static QList<RigaBiglietto> righeDaJson(const QString &json);

private:
    bool modifica(qint32 id, const QString &assegnazioni);

    clsDatabase &m_db;
    bool m_pronta = false;
};
