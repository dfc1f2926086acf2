// SPDX-License-Identifier: GPL-3.0-or-later
#include "NanoTesto.h"

#include <array>

namespace {
// Bytes 0x80 to 0x9F; the five the code page leaves undefined keep their C1 control, so every byte
// survives a round trip.
constexpr std::array<char16_t, 32> Alti = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D,
    0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A,
    0x0153, 0x009D, 0x017E, 0x0178};
} // namespace

namespace nanotesto {

QString decodifica(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b < 0xA0 ? QChar(Alti[b - 0x80]) : QChar(char16_t(b)));
    }
    return text;
}

QByteArray codifica(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        char b = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            b = char(c);
        } else {
            for (std::size_t i = 0; i < Alti.size(); ++i)
                if (Alti[i] == c)
                    b = char(0x80 + i);
        }
        bytes.append(b);
    }
    return bytes;
}

QByteArray campo(const QString &text)
{
    QByteArray bytes = codifica(text);
    bytes.replace('|', '/');
    return bytes;
}

} // namespace nanotesto
