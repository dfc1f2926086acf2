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
    // The largest quantity or price of a line, either sign: beyond it a field is a fault, not a dish.
    static constexpr double MaxValoreRiga = 99999;
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
