// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RenderedDocument.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// Draws a laid-out document as PDF (QPdfWriter), as PNG page images, or as plain text: the text
// is what a thermal printer receives between its initialise and cut commands (ESC/POS), and what
// a restaurant's tests read. Drawing needs a QGuiApplication (offscreen without a display).
class DocumentWriter
{
public:
    struct TextLine
    {
        QString text;
        bool bold = false;
        bool tall = false; // a large heading: printed double height on a thermal printer
    };

    static QByteArray pdf(const RenderedDocument &doc, const QString &title);
    static QImage page(const RenderedDocument &doc, int pageIndex, int dotsPerInch = 203);
    static QList<TextLine> textLines(const RenderedDocument &doc);
    static QString text(const RenderedDocument &doc);
    // ESC @, the text lines (code page 858; bold and double height where the layout asks), feed, cut.
    static QByteArray escPos(const RenderedDocument &doc);
};
