// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RenderedDocument.h"

#include <QHash>
#include <functional>

class cReportData;

// Lays a report out: its sections, the rows of its data source (if any) with the groups of the
// layout, and each subreport field expanded into the subreport's own rows, then cut into pages of
// the given paper (one page as long as the document on a roll). A data row that is blank to the
// end of the table prints nothing: the print operations announce one row more than they fill.
class ReportRenderer
{
public:
    struct Subreport
    {
        const ReportLayout *layout = nullptr;
        cReportData *data = nullptr;
    };
    // Subreports by the name of the field that shows them (compared without case).
    using Subreports = QHash<QString, Subreport>;

    static RenderedDocument render(const ReportLayout &report, cReportData *data, const Subreports &subreports,
                                   const PaperSize &paper);

    // The value of a field expression for the current row: campo_N references and "quoted" texts
    // joined by &. A name that is neither reads as "".
    static QString evaluate(const QString &expression, const std::function<QString(int)> &column);

    // A text broken at blanks into lines that fit a width in twips in the given font, or that pass a
    // test of fit (the text rendition counts characters); leading blanks stay on every line.
    static QStringList wrap(const QString &text, const FontSpec &font, int width);
    // Whether a text fits a width in twips on one line in the given font.
    static bool fits(const QString &text, const FontSpec &font, int width);
    static QStringList wrapText(const QString &text, const std::function<bool(const QString &)> &fits);

private:
    // How many leading characters of a word fit on a line after the indentation (at least one).
    static qsizetype longestFitting(const QString &indent, QStringView word,
                                    const std::function<bool(const QString &)> &fits);
};
