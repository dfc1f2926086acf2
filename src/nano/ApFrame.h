// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

// The access point's serial framing, shared by the driver and the device emulator:
// STX, kind (one byte), payload length (4 upper-case hex digits), payload, checksum (2 upper-case
// hex digits: XOR of the kind, the four length bytes and every payload byte), ETX.
namespace apframe {

constexpr char Stx = 0x02;
constexpr char Etx = 0x03;
constexpr qsizetype MaxPayload = 0xFFFF;
// STX, kind, 4 length digits, 2 checksum digits, ETX.
constexpr qsizetype Overhead = 9;

struct Frame
{
    char kind = 0;
    QByteArray payload;
    bool operator==(const Frame &) const = default;
};

// The frame of kind and payload (a payload over MaxPayload is cut there).
QByteArray encode(char kind, const QByteArray &payload = {});

// Takes every complete frame off the front of buffer, in order. Bytes outside a frame are skipped;
// a frame whose length digits, checksum or ETX are wrong is discarded from its STX on, and the
// search goes on from the next byte, so a good frame right after noise is still found. What is
// left in buffer is the start of a frame still arriving (or nothing). Never fails, whatever the
// bytes: this is where line noise and hostile devices meet the server.
QList<Frame> parseFrames(QByteArray &buffer);

} // namespace apframe
