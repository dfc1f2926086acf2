// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportRenderer.h"

#include "cReportData.h"

#include <QFont>
#include <QFontMetricsF>
#include <QStringList>
#include <cmath>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

using Row = QStringList; // campo_0 .. campo_40 of one data row; empty for a report without data

constexpr int MaxNesting = 3; // a subreport inside a subreport inside a subreport, no deeper

Row readRow(cReportData &data)
{
    Row row;
    row.reserve(cReportData::MaxColumn + 1);
    for (int i = 0; i <= cReportData::MaxColumn; ++i) {
        try {
            row.append(data.GetFieldValue(i).toString());
        } catch (const std::out_of_range &) {
            row.append(QString());
        }
    }
    return row;
}

class Layouter
{
public:
    explicit Layouter(const ReportRenderer::Subreports &subs) : m_subs(subs) {}

    void section(const ReportSection &s, const Row &row, int x, int width, RenderBand::Kind kind, int depth,
                 QList<RenderBand> &out)
    {
        if (!s.visible)
            return;
        const ReportField *sub = nullptr;
        ReportRenderer::Subreport binding;
        for (const auto &f : s.fields) {
            if (f.kind != ReportField::Kind::Subreport || !f.visible || depth >= MaxNesting)
                continue;
            const auto it = m_subs.constFind(f.name.toLower());
            if (it == m_subs.constEnd() || !it->layout)
                continue;
            if (!sub || f.top < sub->top) {
                sub = &f;
                binding = *it;
            }
        }
        if (!sub) {
            out.append(band(s.fields, row, x, width, 0, s.height, kind));
            return;
        }
        // The subreport field grows to hold its rows: what stands above it prints first, then its rows,
        // then what stands below it, moved down by the growth.
        QList<ReportField> above;
        QList<ReportField> below;
        for (const auto &f : s.fields) {
            if (&f == sub)
                continue;
            (f.top < sub->top ? above : below).append(f);
        }
        if (sub->top > 0 || !above.isEmpty())
            out.append(band(above, row, x, width, 0, sub->top, kind));
        flow(*binding.layout, binding.data, x + sub->left, depth + 1, true, out, kind);
        const int rest = std::max(0, s.height - sub->top - sub->height);
        if (rest > 0 || !below.isEmpty())
            out.append(band(below, row, x, width, sub->top + sub->height, rest, kind));
    }

    // The report's own sections in order; a subreport shows its page header and footer once.
    void flow(const ReportLayout &r, cReportData *data, int x, int depth, bool nested, QList<RenderBand> &out,
              RenderBand::Kind kind = RenderBand::Kind::Body)
    {
        const Row none;
        if (nested)
            section(r.pageHeader, none, x, r.width, kind, depth, out);
        section(r.reportHeader, none, x, r.width, kind, depth, out);
        if (!data) {
            section(r.detail, none, x, r.width, kind, depth, out);
        } else {
            int last = data->righe() - 1;
            while (last >= 0 && blank(*data, last))
                --last;
            QStringList current;
            Row previous;
            bool first = true;
            data->MoveFirst();
            while (!data->EndOfFile() && data->position() <= last) {
                const Row row = readRow(*data);
                QStringList values;
                for (const auto &g : r.groups)
                    values.append(ReportRenderer::evaluate(g.expression, cells(row)));
                qsizetype changed = r.groups.size();
                for (qsizetype g = 0; g < r.groups.size(); ++g)
                    if (first || values[g] != current[g]) {
                        changed = g;
                        break;
                    }
                if (!first)
                    for (qsizetype g = r.groups.size() - 1; g >= changed; --g)
                        section(r.groups[g].footer, previous, x, r.width, kind, depth, out);
                for (qsizetype g = changed; g < r.groups.size(); ++g)
                    section(r.groups[g].header, row, x, r.width, kind, depth, out);
                section(r.detail, row, x, r.width, kind, depth, out);
                current = values;
                previous = row;
                first = false;
                data->MoveNext();
            }
            if (!first)
                for (qsizetype g = r.groups.size() - 1; g >= 0; --g)
                    section(r.groups[g].footer, previous, x, r.width, kind, depth, out);
        }
        section(r.reportFooter, none, x, r.width, kind, depth, out);
        if (nested)
            section(r.pageFooter, none, x, r.width, kind, depth, out);
    }

private:
    static bool blank(const cReportData &data, int row)
    {
        for (int c = 0; c <= cReportData::MaxColumn; ++c)
            if (!data.dato(row, c).isEmpty())
                return false;
        return true;
    }

    static std::function<QString(int)> cells(const Row &row)
    {
        return [&row](int i) { return row.value(i); };
    }

    static RenderBand band(const QList<ReportField> &fields, const Row &row, int x, int width, int shift, int height,
                           RenderBand::Kind kind)
    {
        RenderBand b;
        b.kind = kind;
        b.height = height;
        struct Growth
        {
            int top;
            int by;
            qsizetype item; // the grown field itself
        };
        QList<Growth> growths;
        // A right-aligned text alone on its row (every other field of the row empty) that does not
        // fit its field spreads leftwards over the row, its right edge kept: the amount per person
        // under a pre-bill's total prints whole on one line instead of cut or wrapped in the amount
        // column.
        const ReportField *alone = nullptr;
        QString aloneText;
        int texts = 0;
        for (const auto &f : fields) {
            if (!f.visible || f.kind == ReportField::Kind::Subreport || f.kind == ReportField::Kind::Line)
                continue;
            const QString t = f.kind == ReportField::Kind::Text ? f.text : ReportRenderer::evaluate(f.expression, cells(row));
            if (t.isEmpty())
                continue;
            ++texts;
            alone = &f;
            aloneText = t;
        }
        if (texts != 1 || alone->align != ReportField::Align::Right || alone->left <= 0
            || ReportRenderer::fits(aloneText, alone->font, alone->width))
            alone = nullptr;
        for (const auto &f : fields) {
            if (!f.visible || f.kind == ReportField::Kind::Subreport)
                continue;
            RenderItem item;
            item.rect = QRect(x + f.left, std::max(0, f.top - shift), f.width, f.height);
            item.font = f.font;
            item.align = f.align;
            item.line = f.kind == ReportField::Kind::Line;
            if (f.kind == ReportField::Kind::Text)
                item.text = f.text;
            else if (f.kind == ReportField::Kind::Expression)
                item.text = ReportRenderer::evaluate(f.expression, cells(row));
            if (&f == alone)
                item.rect = QRect(x, item.rect.top(), std::min(width, f.left + f.width), item.rect.height());
            if (f.wrap && !item.line && !item.text.isEmpty()) {
                item.lines = ReportRenderer::wrap(item.text, f.font, item.rect.width());
                item.lineHeight = f.height;
                item.rect.setHeight(int(item.lines.size()) * f.height);
                if (item.lines.size() > 1)
                    growths.append({item.rect.top(), int(item.lines.size() - 1) * f.height, b.items.size()});
            }
            b.items.append(std::move(item));
        }
        // What stands below a grown field moves down with it.
        for (const auto &g : growths) {
            for (qsizetype i = 0; i < b.items.size(); ++i)
                if (i != g.item && b.items[i].rect.top() > g.top)
                    b.items[i].rect.translate(0, g.by);
            b.height += g.by;
        }
        return b;
    }

    const ReportRenderer::Subreports &m_subs;
};

} // namespace

namespace {
QFont fontOf(const FontSpec &spec)
{
    QFont font(spec.family);
    font.setPixelSize(std::max(1, int(std::lround(spec.size * 20.0))));
    font.setBold(spec.bold);
    font.setItalic(spec.italic);
    return font;
}
} // namespace

QStringList ReportRenderer::wrap(const QString &text, const FontSpec &spec, int width)
{
    const QFontMetricsF fm(fontOf(spec));
    return wrapText(text, [&fm, width](const QString &t) { return fm.horizontalAdvance(t) <= width; });
}

bool ReportRenderer::fits(const QString &text, const FontSpec &spec, int width)
{
    // What a thermal printer's text rendition needs is a character count; on paper, the measure.
    return QFontMetricsF(fontOf(spec)).horizontalAdvance(text) <= width;
}

QStringList ReportRenderer::wrapText(const QString &text, const std::function<bool(const QString &)> &fits)
{
    // Linear in the text's length: every test of fit measures at most about two lines' worth of
    // characters, so one long unbroken word costs what its pieces cost, never its square.
    // A line ends at a line feed, a carriage return or both (the handhelds' notes end theirs with
    // both): no carriage return reaches a printed line.
    QString paragraphs = text;
    paragraphs.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    QStringList lines;
    for (const QString &paragraph : paragraphs.split(u'\n')) {
        // The indentation of a paragraph stays (a variation under its dish); further lines line up with
        // it, unless the indentation alone leaves no room for a character.
        qsizetype lead = 0;
        while (lead < paragraph.size() && paragraph[lead] == u' ')
            ++lead;
        QString indent = paragraph.left(lead);
        if (!indent.isEmpty() && !fits(indent + u'W'))
            indent.clear();
        QString current = indent;
        bool empty = true;
        for (const QStringView word : QStringView(paragraph).mid(lead).split(u' ', Qt::SkipEmptyParts)) {
            if (!empty) {
                const QString candidate = current + u' ' + word;
                if (fits(candidate)) {
                    current = candidate;
                    continue;
                }
                lines.append(current);
                current = indent;
                empty = true;
            }
            // The word starts a line; a word longer than the line is cut where it no longer fits.
            qsizetype pos = 0;
            for (qsizetype n = longestFitting(indent, word, fits); n < word.size() - pos;
                 n = longestFitting(indent, word.mid(pos), fits)) {
                lines.append(indent + word.mid(pos, n));
                pos += n;
            }
            current = indent + word.mid(pos);
            empty = false;
        }
        lines.append(current);
    }
    return lines;
}

qsizetype ReportRenderer::longestFitting(const QString &indent, QStringView word,
                                         const std::function<bool(const QString &)> &fits)
{
    // Doubling finds a length that no longer fits, halving the longest that does; at least one
    // character goes on each line, so a text always comes to an end.
    qsizetype good = 1;
    qsizetype bad = 2;
    for (;; bad *= 2) {
        if (bad >= word.size()) {
            if (fits(indent + word))
                return word.size();
            bad = word.size();
            break;
        }
        if (!fits(indent + word.left(bad)))
            break;
        good = bad;
    }
    while (bad - good > 1) {
        const qsizetype mid = good + (bad - good) / 2;
        (fits(indent + word.left(mid)) ? good : bad) = mid;
    }
    return good;
}

QString ReportRenderer::evaluate(const QString &expression, const std::function<QString(int)> &column)
{
    QString result;
    QString token;
    bool quoted = false;
    auto flush = [&]() {
        const QString t = token.trimmed();
        token.clear();
        if (t.size() >= 2 && t.startsWith(u'"') && t.endsWith(u'"')) {
            result += t.mid(1, t.size() - 2).replace(u"\"\""_s, u"\""_s);
        } else if (t.startsWith(u"campo_"_s, Qt::CaseInsensitive)) {
            bool ok = false;
            const int i = t.mid(6).toInt(&ok);
            if (ok && i >= 0 && i <= cReportData::MaxColumn)
                result += column(i);
        }
    };
    for (qsizetype i = 0; i < expression.size(); ++i) {
        const QChar c = expression[i];
        if (c == u'"')
            quoted = !quoted;
        if (c == u'&' && !quoted)
            flush();
        else
            token += c;
    }
    flush();
    return result;
}

RenderedDocument ReportRenderer::render(const ReportLayout &report, cReportData *data, const Subreports &subreports,
                                        const PaperSize &paper)
{
    RenderedDocument doc;
    doc.paper = paper;
    doc.marginLeft = report.marginLeft;
    doc.marginTop = report.marginTop;
    doc.bodyWidth = report.width;
    doc.textColumns = report.textColumns;
    doc.pageWidth = paper.widthTwips();

    Layouter l(subreports);
    const Row none;
    l.section(report.pageHeader, none, 0, report.width, RenderBand::Kind::PageHeader, 0, doc.bands);
    l.flow(report, data, 0, 0, false, doc.bands);
    l.section(report.pageFooter, none, 0, report.width, RenderBand::Kind::PageFooter, 0, doc.bands);

    int footerHeight = 0;
    int total = 0;
    for (const auto &b : doc.bands) {
        total += b.height;
        if (b.kind == RenderBand::Kind::PageFooter)
            footerHeight += b.height;
    }
    if (paper.roll) {
        doc.pageHeight = report.marginTop + total + report.marginBottom;
        QList<PlacedBand> page;
        int y = 0;
        for (int i = 0; i < doc.bands.size(); ++i) {
            page.append({i, y});
            y += doc.bands[i].height;
        }
        doc.pages.append(page);
        return doc;
    }

    doc.pageHeight = paper.heightTwips();
    const int usable = int(doc.pageHeight) - report.marginTop - report.marginBottom;
    QList<PlacedBand> page;
    int y = 0;
    bool bodyOnPage = false;
    auto startPage = [&]() {
        page.clear();
        y = 0;
        bodyOnPage = false;
        for (int i = 0; i < doc.bands.size(); ++i)
            if (doc.bands[i].kind == RenderBand::Kind::PageHeader) {
                page.append({i, y});
                y += doc.bands[i].height;
            }
    };
    auto finishPage = [&]() {
        int fy = std::max(y, usable - footerHeight);
        for (int i = 0; i < doc.bands.size(); ++i)
            if (doc.bands[i].kind == RenderBand::Kind::PageFooter) {
                page.append({i, fy});
                fy += doc.bands[i].height;
            }
        doc.pages.append(page);
    };
    startPage();
    for (int i = 0; i < doc.bands.size(); ++i) {
        const auto &b = doc.bands[i];
        if (b.kind != RenderBand::Kind::Body)
            continue;
        if (bodyOnPage && y + b.height > usable - footerHeight) {
            finishPage();
            startPage();
        }
        page.append({i, y});
        y += b.height;
        bodyOnPage = true;
    }
    finishPage();
    return doc;
}
