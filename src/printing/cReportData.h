// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

// The in-memory table a print operation fills and hands to a subreport as its data source: rows
// of text cells the layouts call campo_0 .. campo_40. Rows 0 to 90000 and columns 0 to 40 can be
// addressed whatever the announced counts; a cell never written reads as "". Cells are kept
// sparsely, so a fresh table costs next to nothing. Addressing outside the limits throws
// std::out_of_range ("Subscript out of range"); growing the 16-bit row count past its limit throws
// std::overflow_error.
class cReportData
{
public:
    static constexpr qint32 MaxRow = 90000;
    static constexpr qint32 MaxColumn = 40;
    static constexpr qint32 LastRowPosition = 89999; // where MoveLast goes, whatever the row count
    static constexpr qint32 TextFieldType = 8;
    static constexpr qint32 FieldSize = 50;
    // The longest text one cell or header field carries onto paper: far more than any ticket
    // needs, and small enough that laying it out never holds the server up.
    static constexpr qsizetype MaxTesto = 4096;

    // The text cut to MaxTesto characters; a cut is logged with where it happened.
    static QString limitaTesto(const QString &text, QStringView where);

    // What the print operations call.
    void setColonne(qint16 n) { m_columns = n; }
    void setRighe(qint16 n) { m_rows = n; }
    void addRighe(qint16 n);
    void setDati(qint16 row, qint16 column, const QString &value);

    qint16 colonne() const { return m_columns; }
    qint16 righe() const { return m_rows; }
    // The text of a cell without moving the position (the renderer and tests read it).
    QString dato(qint32 row, qint32 column) const;
    // How many cells hold text (the storage used).
    qsizetype celleScritte() const { return m_cells.size(); }

    // What the report engine calls (the custom-recordset interface).
    qint32 GetFieldCount() const { return m_columns; }
    static QString GetFieldName(qint32 index) { return QStringLiteral("campo_") + QString::number(index); }
    static qint32 GetFieldType(qint32) { return TextFieldType; }
    static qint32 GetFieldSize(qint32) { return FieldSize; }
    QVariant GetFieldValue(qint32 index) const;
    bool BegOfFile() const { return m_position == 0; }
    bool EndOfFile() const { return m_position >= m_rows; }
    void MoveFirst() { m_position = 0; }
    void MoveLast() { m_position = LastRowPosition; }
    void MovePrevious();
    void MoveNext();
    QVariant GetBookmark() const { return QVariant(m_position); }
    void SetBookmark(const QVariant &bookmark);
    // The table is never filtered nor sorted: rows stay as the caller wrote them.
    void ApplyFilter(const QString &) {}
    void ApplySort(const QString &) {}

    qint32 position() const { return m_position; }

private:
    static void checkCell(qint32 row, qint32 column);
    static quint32 key(qint32 row, qint32 column) { return quint32(row) * quint32(MaxColumn + 1) + quint32(column); }

    qint32 m_position = 0;
    qint16 m_columns = 0;
    qint16 m_rows = 0;
    QHash<quint32, QString> m_cells;
};
