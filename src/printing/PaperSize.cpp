// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaperSize.h"

using namespace Qt::StringLiterals;

namespace {
struct Known
{
    int code;
    const char *name;
    double w;
    double h;
};

// Windows DMPAPER_* codes in use on restaurant printers.
constexpr Known Table[] = {
    {1, "Letter", 215.9, 279.4},       {2, "Letter Small", 215.9, 279.4}, {3, "Tabloid", 279.4, 431.8},
    {4, "Ledger", 431.8, 279.4},       {5, "Legal", 215.9, 355.6},        {6, "Statement", 139.7, 215.9},
    {7, "Executive", 184.15, 266.7},   {8, "A3", 297, 420},               {9, "A4", 210, 297},
    {10, "A4 Small", 210, 297},        {11, "A5", 148, 210},              {12, "B4", 250, 353},
    {13, "B5", 182, 257},              {14, "Folio", 215.9, 330.2},       {15, "Quarto", 215, 275},
    {20, "Envelope #10", 104.8, 241.3}, {27, "Envelope DL", 110, 220},    {28, "Envelope C5", 162, 229},
    {34, "Envelope B5", 176, 250},     {37, "Envelope Monarch", 98.4, 190.5}, {70, "A6", 105, 148},
};
constexpr double TwipsPerMm = 1440.0 / 25.4;
} // namespace

double PaperSize::widthTwips() const
{
    return millimetres.width() * TwipsPerMm;
}

double PaperSize::heightTwips() const
{
    return millimetres.height() * TwipsPerMm;
}

std::optional<PaperSize> PaperSize::fromCode(int code)
{
    for (const auto &k : Table)
        if (k.code == code)
            return PaperSize{code, QString::fromLatin1(k.name), QSizeF(k.w, k.h), false};
    if (code >= Roll80)
        return PaperSize{code, u"80 mm roll"_s, QSizeF(80, 0), true};
    return std::nullopt;
}
