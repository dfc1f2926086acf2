// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TicketJournal.h"

#include <QDate>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QSet>
#include <optional>

// What the kitchen screens show, kept in memory on the web side: per zone the tickets not bumped
// yet, oldest first, and the day's ready times. Fed from the journal at start and by each new or
// recalled ticket; a screen's page is a rendering of it, so a reload shows the same state.
class KitchenBoard
{
public:
    static constexpr qsizetype MaxSchede = 40;

    explicit KitchenBoard(QList<qint32> zone = {})
        : m_zone(std::move(zone))
    {
    }

    const QList<qint32> &zone() const { return m_zone; }
    // Adds the tickets of screen zones (a known one is replaced); the zones that changed.
    QSet<qint32> aggiungi(const QList<TicketJournal::Biglietto> &biglietti);
    std::optional<TicketJournal::Biglietto> trova(qint32 zona, qint32 id) const;
    // Drops a bumped ticket; its zone, or nullopt when the board does not have it.
    std::optional<qint32> togli(qint32 id);
    // One ticket's time from its round to its bump, for the day's figures.
    void tempoPronto(qint32 zona, double secondi);
    void tempiDelGiorno(const QList<TicketJournal::Biglietto> &fatti);

    // A zone's cards, the oldest MaxSchede (with their seconds since the round at `adesso`), how many
    // more wait, and the all-day counts over all of them.
    QJsonObject zonaJson(qint32 zona, double adesso) const;
    // Per zone: tickets bumped today, their average and slowest seconds.
    QJsonArray tempiJson() const;

private:
    struct Tempi
    {
        int quanti = 0;
        double somma = 0;
        double massimo = 0;
    };
    QList<qint32> m_zone;
    QHash<qint32, QList<TicketJournal::Biglietto>> m_schede;
    QMap<qint32, Tempi> m_tempi;
    QDate m_giorno; // the day m_tempi is of
};
