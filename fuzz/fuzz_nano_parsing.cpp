// SPDX-License-Identifier: GPL-3.0-or-later
// The radio handlers' field and number parsers. Input: the first byte is the separator, the rest
// the message text.
#include "FuzzSupport.h"
#include "NanoParsing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::initialise();
    if (size == 0)
        return 0;
    const char separator = char(data[0]);
    const QByteArray text(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QList<QByteArray> fields;
    qint32 count = 0;
    const qint32 n = nano::dividiCampi(text, separator, fields, count);
    if (n != fields.size() || n != count || n != text.count(separator))
        __builtin_trap();
    for (const QByteArray &f : fields)
        nano::leggiIntero(f);
    nano::leggiIntero(text);
    return 0;
}
