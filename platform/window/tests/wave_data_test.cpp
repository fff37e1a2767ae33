// Reading wave data from bytes the program does not control: the layouts
// taken, and the damaged or foreign ones refused without reading past the
// end.
#include <gtest/gtest.h>

#include <string>

#include "wave_data.h"

namespace ax::wm {
namespace {

using namespace std::string_literals;

std::string U16(unsigned v) { return {char(v & 0xFF), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
std::string Chunk(const std::string& id, const std::string& body, uint32_t size) { return id + U32(size) + body; }
std::string Chunk(const std::string& id, const std::string& body) {
    return Chunk(id, body, uint32_t(body.size())) + (body.size() % 2 ? "\0"s : ""s);
}
std::string Riff(const std::string& chunks) { return "RIFF" + U32(uint32_t(4 + chunks.size())) + "WAVE" + chunks; }
// tag, channels, rate, byte rate, block align, bits
std::string Fmt(unsigned tag, unsigned channels, uint32_t rate, unsigned align, unsigned bits) {
    return U16(tag) + U16(channels) + U32(rate) + U32(rate * align) + U16(align) + U16(bits);
}

TEST(WaveData, PlainPcmWithAnOddChunkOnTheWay) {
    const std::string bytes = Riff(Chunk("fmt ", Fmt(1, 2, 22050, 4, 16)) + Chunk("LIST", "abc") +
                                   Chunk("data", "\x01\x02\x03\x04\x05\x06\x07\x08"));
    const std::optional<WaveData> w = ParseWave(bytes);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->channels, 2u);
    EXPECT_EQ(w->rate, 22050u);
    EXPECT_EQ(w->bits, 16u);
    EXPECT_FALSE(w->floating);
    EXPECT_EQ(w->samples, "\x01\x02\x03\x04\x05\x06\x07\x08");
    EXPECT_EQ(w->Frames(), 2u);
}

TEST(WaveData, ExtensibleChunksNameTheirFormatInside) {
    // cbSize 22, valid bits, channel mask, then the sub-format's tag (3:
    // float) and the rest of its GUID.
    const std::string floatSub = U16(22) + U16(32) + U32(4) + U16(3) + std::string(14, '\x10');
    std::optional<WaveData> w =
        ParseWave(Riff(Chunk("fmt ", Fmt(0xFFFE, 1, 48000, 4, 32) + floatSub) + Chunk("data", "abcdefgh")));
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->floating);
    EXPECT_EQ(w->Frames(), 2u);
    // ADPCM (2) inside the extensible chunk is not taken.
    const std::string adpcmSub = U16(22) + U16(4) + U32(4) + U16(2) + std::string(14, '\x10');
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(0xFFFE, 1, 8000, 1, 4) + adpcmSub) + Chunk("data", "ab"))));
    // Cut before the sub-format.
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(0xFFFE, 1, 48000, 4, 32) + U16(22)) + Chunk("data", "abcd"))));
}

TEST(WaveData, ATruncatedDataChunkGivesItsWholeFrames) {
    // 100 bytes announced, 7 there: one frame of 4 bytes.
    const std::string bytes = Riff(Chunk("fmt ", Fmt(1, 2, 8000, 4, 16)) + Chunk("data", "1234567", 100));
    const std::optional<WaveData> w = ParseWave(bytes);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->samples, "1234");
    // A chunk announcing 4 GB before any data ends the walk: no data.
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(1, 1, 8000, 1, 8)) + Chunk("junk", "xy", 0xFFFFFFFF) +
                                Chunk("data", "abcd"))));
    // Cut inside a chunk header.
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(1, 1, 8000, 1, 8)) + "dat")));
}

TEST(WaveData, ForeignAndDamagedLayoutsAreRefused) {
    const std::string data = Chunk("data", "abcd");
    EXPECT_FALSE(ParseWave(""));
    EXPECT_FALSE(ParseWave("RIFF\x04\0\0\0AVI "s));
    EXPECT_FALSE(ParseWave(Riff(data)));                                        // no format
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(1, 1, 8000, 1, 8)))));         // no data
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(2, 1, 8000, 1, 4)) + data)));  // compressed
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(1, 1, 8000, 2, 12)) + data))); // 12 bits
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(1, 0, 8000, 0, 16)) + data))); // no channel
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(1, 9, 8000, 18, 16)) + data)));
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(1, 2, 8000, 3, 16)) + data))); // frame size wrong
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(1, 1, 0, 2, 16)) + data)));    // no rate
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(3, 1, 8000, 2, 16)) + data))); // 16-bit float
    EXPECT_FALSE(ParseWave(Riff(Chunk("fmt ", Fmt(1, 1, 8000, 1, 8).substr(0, 14)) + data)));
}

} // namespace
} // namespace ax::wm
