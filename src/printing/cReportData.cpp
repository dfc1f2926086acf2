// SPDX-License-Identifier: GPL-3.0-or-later
#include "cReportData.h"

#include "modGestioneTipiDato.h"

#include <QLoggingCategory>
#include <limits>
#include <stdexcept>

Q_LOGGING_CATEGORY(lcReportData, "pliko.printing")

QString cReportData::limitaTesto(const QString &text, QStringView where)
{
    if (text.size() <= MaxTesto)
        return text;
    qCWarning(lcReportData).noquote() << "testo di" << text.size() << "caratteri ridotto a" << MaxTesto << "in"
                                      << where.toString();
    return text.left(MaxTesto);
}

void cReportData::addRighe(qint16 n)
{
    const qint32 total = qint32(m_rows) + qint32(n);
    if (total > std::numeric_limits<qint16>::max() || total < std::numeric_limits<qint16>::min())
        throw std::overflow_error("Overflow");
    m_rows = qint16(total);
}

void cReportData::checkCell(qint32 row, qint32 column)
{
    if (row < 0 || row > MaxRow || column < 0 || column > MaxColumn)
        throw std::out_of_range("Subscript out of range");
}

void cReportData::setDati(qint16 row, qint16 column, const QString &value)
{
    checkCell(row, column);
    if (value.isEmpty())
        m_cells.remove(key(row, column));
    else
        m_cells.insert(key(row, column), limitaTesto(value, u"a table cell"));
}

QString cReportData::dato(qint32 row, qint32 column) const
{
    if (row < 0 || row > MaxRow || column < 0 || column > MaxColumn)
        return {};
    return m_cells.value(key(row, column));
}

QVariant cReportData::GetFieldValue(qint32 index) const
{
    checkCell(m_position, index);
    return QVariant(m_cells.value(key(m_position, index)));
}

void cReportData::MovePrevious()
{
    if (m_position > 0)
        --m_position;
}

void cReportData::MoveNext()
{
    if (m_position < m_rows)
        ++m_position;
}

void cReportData::SetBookmark(const QVariant &bookmark)
{
    m_position = tipi::toLong(bookmark);
}
