// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Currency.h"

#include <QByteArray>
#include <QString>

class clsDatabase;

// The table services of the radio handhelds: the list of open tables, the full view of one
// table's order and the move of an order to another table, with the number conversions and
// look-ups that the radio orders share with them. Operators and variations appear under the
// numbers (id_nano) of the last database export.
class modNanoTavoli
{
public:
    // Feedback codes of a table move.
    static constexpr qint32 Spostato = 0;
    static constexpr qint32 NonSpostato = 100;

    explicit modNanoTavoli(clsDatabase &db) : m_db(db) {}

    // "T|table|O|operator|G|covers|S|time|I|amount|" per open order in table order, then ".|".
    // Operator 0 lists every operator's tables.
    QByteArray listaTavoliNano(qint32 operatorNano);
    // "E" for a table without an open order; else the header, the lines with their variations and
    // free notes, the note texts and ".|".
    QByteArray statoTavoloNano(qint32 tavolo);
    // Moves the open order of field 3's table to field 5's table: Spostato, or NonSpostato when
    // the body is unusable, the first table has no open order or the second already has one.
    qint32 spostaTavoloNano(const QByteArray &body);

    // An amount in cents without separator: 0 gives "0", 1,5 gives "150", -1,5 gives "-150".
    static QString importoInCentesimi(Currency importo);
    // The reverse: the last two digits are the cents ("150" is 1,50, "-250" is -2,50, "5" is 0,05);
    // an empty text is 0. *valido (when given) says whether the text was a whole number of cents
    // within the bounds of an order line (OrderText::MaxValoreRiga either sign); otherwise 0.
    static Currency centesimiInImporto(const QByteArray &testo, bool *valido = nullptr);
    // The time of day of a moment as the handhelds show it: 9:05 gives "905", 12:30 "1230".
    static QString oraNano(double momento);

    // The free notes (variations -1) of an order.
    qint32 numeroNoteLibere(qint32 idComanda);
    // The Duvu number of an operator; 0 when the operator has no row or no number.
    qint32 idNanoOperatore(qint32 codice);
    // The operator code of a Duvu number; *trovato false (and 0) when no operator has it.
    qint32 codiceOperatore(qint32 idNano, bool *trovato = nullptr);

private:
    clsDatabase &m_db;
};
