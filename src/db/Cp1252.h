// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Handheld and radio wire text: one byte per character in Windows-1252, the ANSI code page of the Italian
// systems the handhelds were made for (the euro sign is byte 0x80). Written out here so the
// conversion is the same on every platform, whatever codecs the system has.
namespace cp1252 {

QString decode(const QByteArray &bytes);
// Characters that have no byte in the code page go out as "?".
QByteArray encode(const QString &text);

} // namespace cp1252
