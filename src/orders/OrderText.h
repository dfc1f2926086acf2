// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The order text a handheld sends with "Comanda": records separated by ";" (what follows the last
// ";" is not a record), fields by "|". Record 0 is the header, then lines ("M") and their
// variations ("V"). Parsing validates the whole text before anything is written: a record with
// too few fields, or a header without a whole table number, rejects the order.
struct OrderText
{
    struct Line
    {
        qint32 articolo = 0;
        double quantita = 0;
        double prezzo = 0;
        qint16 turno = 0;
        QString descrizione;
        qint32 giaStampata = 0;
        qint32 qtaStampata = 0;
        // Why the line cannot be recorded (a quantity, price or printed quantity that is no number
        // of a dish); empty when it can. Such a line is left out with its variations.
        QString scarto;
    };
    // The largest quantity or price of a line, and the largest amount of a header (cover charge,
    // total), either sign: beyond it a field is a fault, not a dish.
    static constexpr double MaxValoreRiga = 99999;
    // The most covers one order seats.
    static constexpr qint64 MaxCoperti = 9999;
    // The most tables one order joins; a longer list is no table plan, and each would be a row.
    static constexpr qsizetype MaxTavoli = 200;
    // The most lines and variations one order carries: a banquet has a few hundred; tens of thousands
    // would hold every other handheld up while they are written and their tickets printed.
    static constexpr qsizetype MaxRecord = 2000;
    struct Variation
    {
        qint32 variazione = 0;
        qint16 quantita = 0;
    };
    struct Record
    {
        enum Kind { LineRecord, VariationRecord } kind;
        Line line;
        Variation variation;
    };

    double inizio = 0;
    QStringList tavoli;     // as sent, first = the main table
    qint16 coperti = 0;
    qint32 operatore = 0;
    double costoCoperti = 0;
    double totaleConCoperti = 0;
    QList<Record> records;  // lines and variations, in order

    // Parses and validates; on failure *error says why and the result must not be used.
    static bool parse(const QString &text, OrderText *out, QString *error);
};

// An order text as read before its request reached the database thread.
struct LetturaComanda
{
    bool ok = false;
    OrderText order;
    QString error;
};

// The header numbers an order or a table occupancy carries, read strictly: a value outside its
// bounds would be stored as a corrupt total, a waiter who does not exist or a table that is none,
// so the whole request is refused. Each returns false with *error saying which field and why.
namespace intestazione {
// The moment the order was opened: a finite number of seconds after the origin, before year 9999.
bool momento(QStringView field, double *out, QString *error);
// A table number: a whole number from 0 to the largest 32-bit one.
bool tavolo(QStringView field, qint64 *out, QString *error);
// Covers: a whole number from 0 to MaxCoperti; blank reads as 0.
bool coperti(QStringView field, qint16 *out, QString *error);
// A waiter code: a whole, non-negative 32-bit number (its existence is the recorder's check).
bool operatore(QStringView field, qint32 *out, QString *error);
// An amount (cover charge, total): finite, within +/- MaxValoreRiga; blank reads as 0.
bool importo(const QString &name, QStringView field, double *out, QString *error);
} // namespace intestazione
