// SPDX-License-Identifier: GPL-3.0-or-later
#include "ApFrame.h"

namespace apframe {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;  // lower case is not ours: the framing is exact
}

// The value of n upper-case hex digits at data, or -1.
int readHex(const char *data, int n)
{
    int value = 0;
    for (int i = 0; i < n; ++i) {
        const int d = hexValue(data[i]);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

} // namespace

QByteArray encode(char kind, const QByteArray &payload)
{
    const QByteArray body = payload.left(MaxPayload);
    const auto length = static_cast<unsigned>(body.size());
    QByteArray frame;
    frame.reserve(body.size() + Overhead);
    frame.append(Stx);
    frame.append(kind);
    for (int shift = 12; shift >= 0; shift -= 4)
        frame.append(HexDigits[(length >> shift) & 0xF]);
    unsigned char sum = 0;
    for (qsizetype i = 1; i < frame.size(); ++i)
        sum ^= static_cast<unsigned char>(frame[i]);
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    frame.append(body);
    frame.append(HexDigits[sum >> 4]);
    frame.append(HexDigits[sum & 0xF]);
    frame.append(Etx);
    return frame;
}

namespace {

enum class AtStx { Good, Bad, Incomplete };

// What starts at the STX at data[start]: a whole good frame (its total size in *total), a broken
// one, or one still arriving.
AtStx frameAt(const char *data, qsizetype size, qsizetype start, qsizetype *total)
{
    if (size - start < 6)
        return AtStx::Incomplete; // kind and length still arriving
    const int length = readHex(data + start + 2, 4);
    if (length < 0)
        return AtStx::Bad;
    *total = Overhead + length;
    if (size - start < *total)
        return AtStx::Incomplete; // payload still arriving
    const char *payload = data + start + 6;
    unsigned char sum = 0;
    for (qsizetype i = start + 1; i < start + 6 + length; ++i)
        sum ^= static_cast<unsigned char>(data[i]);
    const int given = readHex(payload + length, 2);
    return given == sum && payload[length + 2] == Etx ? AtStx::Good : AtStx::Bad;
}

// The first STX after start at which a whole good frame stands, or -1.
qsizetype goodFrameAfter(const QByteArray &buffer, qsizetype start)
{
    qsizetype total = 0;
    for (qsizetype p = buffer.indexOf(Stx, start + 1); p >= 0; p = buffer.indexOf(Stx, p + 1))
        if (frameAt(buffer.constData(), buffer.size(), p, &total) == AtStx::Good)
            return p;
    return -1;
}

} // namespace

QList<Frame> parseFrames(QByteArray &buffer)
{
    QList<Frame> frames;
    qsizetype pos = 0;
    const qsizetype size = buffer.size();
    const char *data = buffer.constData();
    while (pos < size) {
        const qsizetype start = buffer.indexOf(Stx, pos);
        if (start < 0) {
            pos = size;
            break;
        }
        pos = start;
        qsizetype total = 0;
        const AtStx at = frameAt(data, size, start, &total);
        if (at == AtStx::Bad) {
            pos = start + 1;
            continue;
        }
        if (at == AtStx::Incomplete) {
            // Noise that looks like the start of a long frame ("\x02m0800") would make the reader wait
            // for bytes that never come while the real reply sits behind it: a whole good frame
            // after it shows the claim was noise, and reading goes on from there.
            const qsizetype next = goodFrameAfter(buffer, start);
            if (next < 0)
                break;
            pos = next;
            continue;
        }
        frames.append(Frame{data[start + 1], QByteArray(data + start + 6, total - Overhead)});
        pos = start + total;
    }
    buffer.remove(0, pos);
    return frames;
}

} // namespace apframe
