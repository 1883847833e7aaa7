#include "synth/rawencoder.h"

#include <gtest/gtest.h>

#include "streamchecks.h"

using namespace synth;

namespace {

std::vector<uint8_t> items(const std::vector<uint8_t>& stream) {
  size_t i = 8;
  while (i < stream.size() && stream[i] >= 0x80) ++i;
  return {stream.begin() + static_cast<std::ptrdiff_t>(i), stream.end()};
}

}  // namespace

TEST(RawEncoder, KnownForms) {
  // 75 ticks of J: six J samples, the last lasting 70 (count 69 = 5 + 1 * 64).
  EXPECT_EQ(encodeRaw({{lsJ, 75}}),
            (std::vector<uint8_t>{'O', 'R', 'L', 'A', 'V', 'E', 'X', '.', 0x3F, 0x85, 0xC1}));
  // K J K J K J, one tick each.
  EXPECT_EQ(items(encodeRaw({{lsK, 1}, {lsJ, 1}, {lsK, 1}, {lsJ, 1}, {lsK, 1}, {lsJ, 1}})),
            (std::vector<uint8_t>{0x15}));
  // K and the SE0 share a three-sample byte, the idle J a six-sample one; a long
  // SE0 after an item becomes a run marker, which must be 111xxxxx there.
  EXPECT_EQ(items(encodeRaw({{lsK, 1}, {lsSe0, 2}, {lsJ, 10}, {lsSe0, 30000}, {lsJ, 12}})),
            (std::vector<uint8_t>{0x40 | 1 << 4, 0x3F, 0x84, 0xE0, 0xB0, 0xD4, 0xC7, 0x3F, 0x86}));
  // A stream starting with SE0 starts with a data byte all the same.
  EXPECT_EQ(items(encodeRaw({{lsSe0, 3}, {lsJ, 6}})), (std::vector<uint8_t>{0x40, 0x3F}));
  // Filler bytes sit between the magic and the items.
  TrawOptions filled;
  filled.fillerBytes = 3;
  EXPECT_EQ(encodeRaw({{lsJ, 6}}, filled).size(), 8u + 3 + 1);
  // A final run too short for a data byte is lengthened to 3 ticks.
  EXPECT_EQ(items(encodeRaw({{lsJ, 6}, {lsK, 1}})), (std::vector<uint8_t>{0x3F, 0x40 | 1 << 4 | 1 << 2 | 1}));

  // A run longer than a count can carry, built up over several lists, is cut
  // into pieces the reader can hold, and none of it is lost.
  TrawEncoder encoder;
  std::vector<uint8_t> stream;
  encoder.encode({{lsK, 4}, {lsJ, 0xF0000000u}}, stream);
  encoder.encode({{lsJ, 0xF0000000u}}, stream);
  encoder.finish(stream);
  std::vector<TrefRun> pieces;
  ASSERT_TRUE(refDecodeRaw(stream, pieces));
  for (const TrefRun& piece : pieces) EXPECT_LE(piece.ticks, 0x7FFFFFFFu);
  EXPECT_EQ(refMerge(pieces), (std::vector<TrefRun>{{1, 4}, {2, 2 * 0xF0000000ull}}));

  // Compact counts decode to their value, whatever the digits.
  for (uint64_t v :
       {0ull, 1ull, 31ull, 63ull, 64ull, 2047ull, 2048ull, 4095ull, 4096ull, 262143ull, 0x7FFFFFF0ull}) {
    std::vector<uint8_t> stream{'O', 'R', 'L', 'A', 'V', 'E', 'X', '.', 0x3F};
    appendCompactCount(static_cast<uint32_t>(v), stream);
    std::vector<TrefRun> runs;
    ASSERT_TRUE(refDecodeRaw(stream, runs));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].ticks, v + 6) << v;
  }
}
