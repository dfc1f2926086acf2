// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// A report layout as our layout files describe it. Every position and size is in twips (1440 per
// inch, 20 per point), relative to the section that holds the field.

struct FontSpec
{
    QString family = QStringLiteral("DejaVu Sans");
    double size = 10.0; // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

struct ReportField
{
    enum class Kind { Text, Expression, Subreport, Line };
    enum class Align { Left, Center, Right };

    QString name;
    Kind kind = Kind::Text;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    FontSpec font;
    Align align = Align::Left;
    bool visible = true;
    bool wrap = false;  // long text continues on further lines, the section grows
    QString text;       // Text: what it shows (the server writes it by name)
    QString expression; // Expression: over campo_N and quoted texts joined by &
    QString report;     // Subreport: the report its engine loads when nobody attaches one
};

struct ReportSection
{
    bool visible = true;
    int height = 0;
    QList<ReportField> fields;
};

struct ReportGroup
{
    QString name;
    QString expression;
    int sort = 0;
    ReportSection header{false, 0, {}};
    ReportSection footer{false, 0, {}};
};

struct ReportLayout
{
    QString name;
    int width = 4080;          // body width; 80 mm thermal paper prints 72 mm
    int textColumns = 42;      // characters a line holds in the text rendition
    int marginLeft = 227;
    int marginTop = 227;
    int marginRight = 227;
    int marginBottom = 227;
    ReportSection reportHeader{true, 0, {}};
    ReportSection pageHeader{true, 0, {}};
    ReportSection detail{true, 0, {}};
    ReportSection pageFooter{true, 0, {}};
    ReportSection reportFooter{true, 0, {}};
    QList<ReportGroup> groups; // outermost first

    ReportField *field(const QString &fieldName);
    const ReportField *field(const QString &fieldName) const;
    QList<ReportSection *> sections();
};
