// SPDX-License-Identifier: GPL-3.0-or-later
// The access point's serial framing: what a frame looks like on the line, and how the reader copes
// with the line noise, split writes and broken frames a radio site really sees.
#include "ApFrame.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using apframe::Frame;

namespace {

TEST(FramingTest, AFrameIsStxKindHexLengthPayloadXorChecksumEtx)
{
    // "R" with no payload: checksum = 'R' ^ '0' ^ '0' ^ '0' ^ '0' = 0x52.
    EXPECT_EQ(apframe::encode('R'), QByteArray("\x02R000052\x03"));
    // 'O' ^ '0' ^ '0' ^ '0' ^ '3' = 0x4C; then ^ '1' ^ '|' ^ '2' = 0x33.
    EXPECT_EQ(apframe::encode('O', "1|2"), QByteArray("\x02O00031|233\x03"));
    EXPECT_EQ(apframe::encode('T', QByteArray(2000, ' ')).mid(2, 4), QByteArray("07D0"));
}

struct ReadCase
{
    const char *name;
    QByteArray line;
    QList<Frame> frames;
    QByteArray left;  // what waits for the rest of a frame
};

TEST(FramingTest, TheReaderFindsEveryGoodFrameWhateverSurroundsIt)
{
    const QByteArray z = apframe::encode('z');
    const QByteArray m = apframe::encode('m', "V1|2|3|12|");
    QByteArray badSum = m;
    badSum[badSum.size() - 2] = badSum.at(badSum.size() - 2) == '0' ? '1' : '0';
    QByteArray lowerHex = apframe::encode('m', QByteArray(10, 'x'));
    lowerHex.replace(2, 4, "000a");
    QByteArray noEtx = z;
    noEtx[noEtx.size() - 1] = 'X';

    const QList<ReadCase> cases = {
        {"one frame", z, {{'z', {}}}, {}},
        {"two frames back to back", m + z, {{'m', "V1|2|3|12|"}, {'z', {}}}, {}},
        {"noise before, between and after", "abc\x03" + m + "\x01\xff" + z + "zz", {{'m', "V1|2|3|12|"}, {'z', {}}},
         {}},
        {"a bad checksum is dropped, the next frame kept", badSum + z, {{'z', {}}}, {}},
        {"lower-case length digits are not a length", lowerHex + z, {{'z', {}}}, {}},
        {"a frame without its ETX is dropped", noEtx + z, {{'z', {}}}, {}},
        {"a stray STX before a real frame", "\x02\x02" + z, {{'z', {}}}, {}},
        {"the start of a long frame before a real one", "\x02m0800" + m, {{'m', "V1|2|3|12|"}}, {}},
        {"half a frame waits for the rest", z + m.left(7), {{'z', {}}}, m.left(7)},
        {"just the STX waits", QByteArray("\x02"), {}, QByteArray("\x02")},
        {"an empty line", {}, {}, {}},
    };
    for (const ReadCase &c : cases) {
        QByteArray buffer = c.line;
        EXPECT_EQ(apframe::parseFrames(buffer), c.frames) << c.name;
        EXPECT_EQ(buffer, c.left) << c.name;
    }
}

TEST(FramingTest, AFrameOfEveryByteValueArrivingOneByteAtATimeIsReadOnceWhole)
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    QByteArray buffer;
    QList<Frame> got;
    for (char c : apframe::encode('T', all)) {
        buffer.append(c);
        got += apframe::parseFrames(buffer);
    }
    EXPECT_EQ(got, (QList<Frame>{{'T', all}}));
    EXPECT_TRUE(buffer.isEmpty());
}

TEST(FramingTest, LineNoiseNeverBecomesAMessageAndNeverStopsTheReader)
{
    // Random bytes, often STX and hex digits so that half-frames are common: whatever the reader
    // takes out must be a frame that really stood on the line, and what it keeps is bounded by
    // the largest frame.
    QRandomGenerator random(20240315);
    const QByteArray alphabet("\x02\x03" "0123456789ABCDEFmzRV|");
    for (int round = 0; round < 2000; ++round) {
        QByteArray line;
        const int size = int(random.bounded(1, 200));
        for (int i = 0; i < size; ++i)
            line.append(random.bounded(2) ? alphabet.at(random.bounded(int(alphabet.size())))
                                          : char(random.bounded(256)));
        if (round % 3 == 0)
            line.insert(random.bounded(int(line.size())), apframe::encode('m', "S"));
        QByteArray buffer = line;
        for (const Frame &f : apframe::parseFrames(buffer))
            EXPECT_TRUE(line.contains(apframe::encode(f.kind, f.payload))) << round;
        if (!buffer.isEmpty()) {
            EXPECT_EQ(buffer.at(0), apframe::Stx) << "only a frame still arriving is kept";
        }
    }
}

} // namespace
