// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PaperSize.h"
#include "ReportLayout.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

// A report laid out: the flow of bands (one printed section each, fields resolved to their texts)
// and the pages they were placed on. Twips throughout; item x is from the body's left edge.
struct RenderItem
{
    QRect rect;
    QString text;
    FontSpec font;
    ReportField::Align align = ReportField::Align::Left;
    bool line = false; // a rule across rect instead of a text
    // A text that wraps: the lines it takes on paper (rect holds them all, each lineHeight tall);
    // the text rendition wraps the whole text to its own columns.
    QStringList lines;
    int lineHeight = 0;
};

struct RenderBand
{
    enum class Kind { Body, PageHeader, PageFooter };
    Kind kind = Kind::Body;
    int height = 0;
    QList<RenderItem> items;
};

struct PlacedBand
{
    int band = 0; // index into RenderedDocument::bands
    int y = 0;    // from the top of the page's printable area
};

struct RenderedDocument
{
    PaperSize paper;
    double pageWidth = 0;  // twips
    double pageHeight = 0; // twips
    int marginLeft = 0;
    int marginTop = 0;
    int bodyWidth = 0;
    int textColumns = 42;
    QList<RenderBand> bands; // page header first, then the body, then the page footer
    QList<QList<PlacedBand>> pages;
};
