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

    void section(const ReportSection &s, const Row &row, int x, RenderBand::Kind kind, int depth,
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
            out.append(band(s.fields, row, x, 0, s.height, kind));
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
            out.append(band(above, row, x, 0, sub->top, kind));
        flow(*binding.layout, binding.data, x + sub->left, depth + 1, true, out, kind);
        const int rest = std::max(0, s.height - sub->top - sub->height);
        if (rest > 0 || !below.isEmpty())
            out.append(band(below, row, x, sub->top + sub->height, rest, kind));
    }

    // The report's own sections in order; a subreport shows its page header and footer once.
    void flow(const ReportLayout &r, cReportData *data, int x, int depth, bool nested, QList<RenderBand> &out,
              RenderBand::Kind kind = RenderBand::Kind::Body)
    {
        const Row none;
        if (nested)
            section(r.pageHeader, none, x, kind, depth, out);
        section(r.reportHeader, none, x, kind, depth, out);
        if (!data) {
            section(r.detail, none, x, kind, depth, out);
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
                        section(r.groups[g].footer, previous, x, kind, depth, out);
                for (qsizetype g = changed; g < r.groups.size(); ++g)
                    section(r.groups[g].header, row, x, kind, depth, out);
                section(r.detail, row, x, kind, depth, out);
                current = values;
                previous = row;
                first = false;
                data->MoveNext();
            }
            if (!first)
                for (qsizetype g = r.groups.size() - 1; g >= 0; --g)
                    section(r.groups[g].footer, previous, x, kind, depth, out);
        }
        section(r.reportFooter, none, x, kind, depth, out);
        if (nested)
            section(r.pageFooter, none, x, kind, depth, out);
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

    static RenderBand band(const QList<ReportField> &fields, const Row &row, int x, int shift, int height,
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
            if (f.wrap && !item.line && !item.text.isEmpty()) {
                item.lines = ReportRenderer::wrap(item.text, f.font, f.width);
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

QStringList ReportRenderer::wrap(const QString &text, const FontSpec &spec, int width)
{
    QFont font(spec.family);
    font.setPixelSize(std::max(1, int(std::lround(spec.size * 20.0))));
    font.setBold(spec.bold);
    font.setItalic(spec.italic);
    const QFontMetricsF fm(font);
    return wrapText(text, [&fm, width](const QString &t) { return fm.horizontalAdvance(t) <= width; });
}

QStringList ReportRenderer::wrapText(const QString &text, const std::function<bool(const QString &)> &fits)
{
    QStringList lines;
    for (const QString &paragraph : text.split(u'\n')) {
        // The indentation of a paragraph stays (a variation under its dish); further lines line up with it.
        qsizetype lead = 0;
        while (lead < paragraph.size() && paragraph[lead] == u' ')
            ++lead;
        const QString indent = paragraph.left(lead);
        QString current = indent;
        bool empty = true;
        for (const QString &word : paragraph.mid(lead).split(u' ', Qt::SkipEmptyParts)) {
            const QString candidate = empty ? QString(current + word) : QString(current + u' ' + word);
            if (fits(candidate)) {
                current = candidate;
                empty = false;
                continue;
            }
            if (!empty)
                lines.append(current);
            current = indent + word;
            // A word longer than the line is cut where it no longer fits.
            while (current.size() > indent.size() + 1 && !fits(current)) {
                qsizetype n = current.size() - 1;
                while (n > indent.size() + 1 && !fits(current.left(n)))
                    --n;
                lines.append(current.left(n));
                current = indent + current.mid(n);
            }
            empty = false;
        }
        lines.append(current);
    }
    return lines;
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
    l.section(report.pageHeader, none, 0, RenderBand::Kind::PageHeader, 0, doc.bands);
    l.flow(report, data, 0, 0, false, doc.bands);
    l.section(report.pageFooter, none, 0, RenderBand::Kind::PageFooter, 0, doc.bands);

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
