// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSizeF>
#include <QString>
#include <optional>

// The page settings of the printer configuration are Windows paper codes (9 A4, 1 Letter, 11 A5,
// ...). 256, the user-defined size, and the driver-defined codes above it are how thermal printer
// drivers name their roll: we take them as an 80 mm roll cut to the length of the document.
struct PaperSize
{
    static constexpr int A4 = 9;
    static constexpr int Roll80 = 256;

    int code = A4;
    QString name;
    QSizeF millimetres; // height 0 for a roll
    bool roll = false;

    // Twips (1440 per inch).
    double widthTwips() const;
    double heightTwips() const;

    static std::optional<PaperSize> fromCode(int code);
};
