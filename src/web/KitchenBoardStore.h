// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TicketJournal.h"

#include <QList>
#include <QObject>
#include <functional>

class clsDatabase;

Q_DECLARE_METATYPE(TicketJournal::Biglietto)

// Everything the kitchen screens read from or write to the print journal, and nothing else. The
// web pages reach it only through queued calls and hear back through its signals, so it can live
// on whichever thread owns the database.
class KitchenBoardStore : public QObject
{
    Q_OBJECT
public:
    using Biglietti = QList<TicketJournal::Biglietto>;
    // hold opens the database for a moment (false when it cannot); release closes what hold opened;
    // esegui runs a piece of work on the thread that owns the database (in place when unset). The
    // signals are emitted from that thread.
    using Esegui = std::function<void(std::function<void()>)>;
    KitchenBoardStore(clsDatabase &db, std::function<bool()> hold, std::function<void(bool)> release,
                      Esegui esegui = {}, QObject *parent = nullptr);

public slots:
    // The tickets of these zones not bumped yet, and today's bumped ones (for the ready times).
    void carica(const QList<qint32> &zone);
    // An order's tickets, after it journalled new ones.
    void leggiComanda(qint32 comanda);
    // "Fatto": the ticket bumped at that moment.
    void segnaPronta(qint32 id, double momento);
    // "Richiama": the zone's last bumped ticket (of the last day) back to the screens.
    void richiama(qint32 zona);

signals:
    void caricati(const Biglietti &daFare, const Biglietti &fattiOggi);
    void letti(const Biglietti &biglietti);
    void pronta(qint32 id, double momento, bool ok);
    void richiamato(const Biglietti &biglietti); // empty when none

private:
    template <typename F> bool conDatabase(F &&f);
    void esegui(std::function<void()> lavoro);

    TicketJournal m_journal;
    std::function<bool()> m_hold;
    std::function<void(bool)> m_release;
    Esegui m_esegui;
};
