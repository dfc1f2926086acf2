// SPDX-License-Identifier: GPL-3.0-or-later
// The access point's frame reader, where line noise and hostile devices meet the server: any bytes
// give frames that encode back to themselves, and the reader always consumes what it has read.
#include "ApFrame.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::initialise();
    QByteArray buffer(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<apframe::Frame> frames = apframe::parseFrames(buffer);
    if (buffer.size() > qsizetype(size))
        __builtin_trap();
    for (const apframe::Frame &f : frames) {
        QByteArray again = apframe::encode(f.kind, f.payload);
        const QList<apframe::Frame> back = apframe::parseFrames(again);
        if (back.size() != 1 || !(back.first() == f) || !again.isEmpty())
            __builtin_trap();
    }
    return 0;
}
