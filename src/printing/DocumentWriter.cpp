// SPDX-License-Identifier: GPL-3.0-or-later
#include "DocumentWriter.h"

#include "ReportRenderer.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStringEncoder>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr double TwipsPerPoint = 20.0;
constexpr double TallFromPoints = 14.0; // headings this large print double height on a thermal printer

QFont fontOf(const FontSpec &spec)
{
    QFont f(spec.family);
    f.setPixelSize(std::max(1, int(std::lround(spec.size * TwipsPerPoint))));
    f.setBold(spec.bold);
    f.setItalic(spec.italic);
    f.setUnderline(spec.underline);
    return f;
}

int alignFlags(ReportField::Align a)
{
    switch (a) {
    case ReportField::Align::Center:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case ReportField::Align::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case ReportField::Align::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

// Draws one page in twips: the painter's coordinates are twips from the paper's top left.
void drawPage(QPainter &p, const RenderedDocument &doc, int pageIndex)
{
    for (const auto &placed : doc.pages.value(pageIndex)) {
        const RenderBand &band = doc.bands[placed.band];
        for (const auto &item : band.items) {
            QRectF r(item.rect);
            r.translate(doc.marginLeft, doc.marginTop + placed.y);
            if (item.line) {
                QPen pen(Qt::black);
                pen.setWidthF(std::max(10.0, r.height() > 0 ? std::min(r.height(), 40.0) : 15.0));
                p.setPen(pen);
                const double y = r.top() + r.height() / 2;
                p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
                continue;
            }
            if (item.text.isEmpty())
                continue;
            p.setPen(Qt::black);
            QFont font = fontOf(item.font);
            if (item.lines.isEmpty()) {
                // A one-line text wider than its field is drawn smaller (down to half its size) rather
                // than cut at its edges: a table list in a narrow ticket's heading stays whole (a little
                // room is kept for the glyphs' own overhang).
                const double wide = QFontMetricsF(font).horizontalAdvance(item.text);
                if (wide > r.width() && r.width() > 0)
                    font.setPixelSize(std::max({1, font.pixelSize() / 2,
                                                int(std::floor(font.pixelSize() * 0.95 * r.width() / wide))}));
                p.setFont(font);
                p.drawText(r, alignFlags(item.align), item.text);
                continue;
            }
            p.setFont(font);
            for (qsizetype k = 0; k < item.lines.size(); ++k)
                p.drawText(QRectF(r.left(), r.top() + double(k) * item.lineHeight, r.width(), item.lineHeight),
                           alignFlags(item.align), item.lines[k]);
        }
    }
}

QPageSize pageSizeOf(const RenderedDocument &doc)
{
    const double mmPerTwip = 25.4 / 1440.0;
    return QPageSize(QSizeF(doc.pageWidth * mmPerTwip, std::max(doc.pageHeight, 1440.0) * mmPerTwip),
                     QPageSize::Millimeter, doc.paper.name, QPageSize::ExactMatch);
}

// A line in code page 858, what the thermal printers are set to: Qt's IBM 858 codec (through ICU)
// knows every letter of the page; a character the page lacks prints as "?". A Qt built without that
// codec falls back to the letters Italian tickets use.
QByteArray cp858(const QString &line)
{
    static QStringEncoder codec("IBM 858", QStringConverter::Flag::Stateless);
    QByteArray out;
    out.reserve(line.size());
    for (const QChar c : line) {
        if (c.unicode() < 128) {
            out += char(c.unicode());
            continue;
        }
        if (codec.isValid()) {
            const QByteArray b = codec.encode(QStringView(&c, 1));
            const bool ok = !codec.hasError() && b.size() == 1;
            codec.resetState();
            out += ok ? b.at(0) : '?';
            continue;
        }
        static const struct
        {
            char16_t u;
            unsigned char b;
        } map[] = {{u'à', 0x85}, {u'è', 0x8A}, {u'é', 0x82}, {u'ì', 0x8D}, {u'ò', 0x95}, {u'ù', 0x97},
                   {u'À', 0xB7}, {u'È', 0xD4}, {u'É', 0x90}, {u'Ì', 0xDE}, {u'Ò', 0xE3}, {u'Ù', 0xEB},
                   {u'ç', 0x87}, {u'ñ', 0xA4}, {u'°', 0xF8}, {u'€', 0xD5}, {u'ä', 0x84}, {u'ö', 0x94},
                   {u'ü', 0x81}, {u'ß', 0xE1}};
        char b = '?';
        for (const auto &m : map)
            if (m.u == c.unicode())
                b = char(m.b);
        out += b;
    }
    return out;
}

} // namespace

QByteArray DocumentWriter::pdf(const RenderedDocument &doc, const QString &title)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(title);
        writer.setCreator(u"PlikoServer"_s);
        writer.setPageSize(pageSizeOf(doc));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(1440);
        QPainter p(&writer);
        for (int i = 0; i < doc.pages.size(); ++i) {
            if (i > 0)
                writer.newPage();
            drawPage(p, doc, i);
        }
        p.end();
    }
    return out;
}

QImage DocumentWriter::page(const RenderedDocument &doc, int pageIndex, int dotsPerInch)
{
    const double scale = dotsPerInch / 1440.0;
    QImage img(std::max(1, int(std::lround(doc.pageWidth * scale))),
               std::max(1, int(std::lround(doc.pageHeight * scale))), QImage::Format_RGB32);
    img.setDotsPerMeterX(int(std::lround(dotsPerInch / 0.0254)));
    img.setDotsPerMeterY(int(std::lround(dotsPerInch / 0.0254)));
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    drawPage(p, doc, pageIndex);
    p.end();
    return img;
}

QList<DocumentWriter::TextLine> DocumentWriter::textLines(const RenderedDocument &doc)
{
    QList<TextLine> lines;
    const int cols = std::max(1, doc.textColumns);
    const double perColumn = double(std::max(1, doc.bodyWidth)) / cols;
    for (const auto &band : doc.bands) {
        if (band.height <= 0 && band.items.isEmpty())
            continue;
        QList<RenderItem> items = band.items;
        std::stable_sort(items.begin(), items.end(), [](const RenderItem &a, const RenderItem &b) {
            return a.rect.top() != b.rect.top() ? a.rect.top() < b.rect.top() : a.rect.left() < b.rect.left();
        });
        // Items whose tops fall within half the first one's height share a line; a wrapped text goes on
        // over the following lines in its own columns.
        qsizetype i = 0;
        bool wroteAny = false;
        while (i < items.size()) {
            const int lineTop = items[i].rect.top();
            const int firstHeight = items[i].lineHeight > 0 ? items[i].lineHeight : items[i].rect.height();
            const int reach = lineTop + std::max(60, firstHeight / 2);
            QList<RenderItem> row;
            while (i < items.size() && items[i].rect.top() < reach)
                row.append(items[i++]);
            std::stable_sort(row.begin(), row.end(),
                             [](const RenderItem &a, const RenderItem &b) { return a.rect.left() < b.rect.left(); });
            QList<QString> buffers{QString(cols, u' ')};
            TextLine line;
            bool any = false;
            for (qsizetype k = 0; k < row.size(); ++k) {
                const RenderItem &it = row[k];
                const int col = std::clamp(int(std::lround(it.rect.left() / perColumn)), 0, cols - 1);
                const int fieldWidth = std::clamp(int(std::lround(it.rect.width() / perColumn)), 1, cols - col);
                // The last text of a line may run on to the line's end.
                const int room = k + 1 == row.size() ? cols - col : fieldWidth;
                if (it.line) {
                    buffers[0].replace(col, fieldWidth, QString(fieldWidth, u'-'));
                    any = true;
                    continue;
                }
                if (it.text.isEmpty())
                    continue;
                any = true;
                line.bold = line.bold || it.font.bold;
                line.tall = line.tall || it.font.size >= TallFromPoints;
                const QStringList parts = it.lines.isEmpty()
                    ? QStringList{QString(it.text.left(room)).replace(u'\r', u' ').replace(u'\n', u' ')}
                    : ReportRenderer::wrapText(it.text, [room](const QString &t) { return t.size() <= room; });
                for (qsizetype n = 0; n < parts.size(); ++n) {
                    if (buffers.size() <= n)
                        buffers.append(QString(cols, u' '));
                    const QString t = parts[n].left(room);
                    int start = col;
                    if (it.align == ReportField::Align::Right)
                        start = col + std::max(0, std::min(fieldWidth, room) - int(t.size()));
                    else if (it.align == ReportField::Align::Center)
                        start = col + std::max(0, (std::min(fieldWidth, room) - int(t.size())) / 2);
                    const int fit = std::min(int(t.size()), cols - start);
                    buffers[n].replace(start, fit, t.left(fit));
                }
            }
            if (!any)
                continue;
            for (QString buf : buffers) {
                while (buf.endsWith(u' '))
                    buf.chop(1);
                TextLine out = line;
                out.text = buf;
                lines.append(out);
            }
            wroteAny = true;
        }
        // A section with height but nothing to show is a blank line, as it is on paper.
        if (!wroteAny && band.height > 0)
            lines.append(TextLine{});
    }
    return lines;
}

QString DocumentWriter::text(const RenderedDocument &doc)
{
    QString out;
    for (const auto &l : textLines(doc))
        out += l.text + u'\n';
    return out;
}

QByteArray DocumentWriter::escPos(const RenderedDocument &doc)
{
    QByteArray out;
    out += "\x1b@";         // initialise
    out += "\x1bt\x13";     // code page 858
    for (const auto &l : textLines(doc)) {
        if (l.bold)
            out += "\x1b" "E\x01";
        if (l.tall)
            out += "\x1b!\x10";
        out += cp858(l.text);
        if (l.tall)
            out.append("\x1b!\x00", 3);
        if (l.bold)
            out.append("\x1b" "E\x00", 3);
        out += '\n';
    }
    out += "\x1b" "d\x04";  // feed four lines past the cutter
    out += "\x1dV\x01";     // partial cut
    return out;
}
