// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Free texts between the radio handhelds and the database: one byte per character in
// Windows-1252, the code page the handhelds were made for (the euro sign is byte 0x80).
namespace nanotesto {

QString decodifica(const QByteArray &bytes);
// Characters without a byte in the code page become "?".
QByteArray codifica(const QString &text);
// A text that goes into one field of a reply: "|" would end the field early, so it becomes "/".
QByteArray campo(const QString &text);

} // namespace nanotesto
