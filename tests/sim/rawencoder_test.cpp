#include "synth/rawencoder.h"

#include <gtest/gtest.h>

#include <random>

#include "streamchecks.h"

using namespace synth;

namespace {

std::vector<TrefRun> asRef(const TlineRuns& runs) {
  std::vector<TrefRun> out;
  for (const TlineRun& run : runs) out.push_back({run.state, run.ticks});
  return refMerge(out);
}

std::vector<uint8_t> items(const std::vector<uint8_t>& stream) {
  size_t i = 8;
  while (i < stream.size() && stream[i] >= 0x80) ++i;
  return {stream.begin() + static_cast<std::ptrdiff_t>(i), stream.end()};
}

// Bus-like random runs: packets of K/J bits with SE0 ends, resets, idle, SE1.
TlineRuns randomRuns(std::mt19937_64& rng, int count) {
  TlineRuns runs;
  for (int i = 0; i < count; ++i) {
    const unsigned pick = rng() % 20;
    uint32_t ticks = 1 + rng() % 7;
    if (pick == 0) ticks = 1 + static_cast<uint32_t>(rng() % 200000);
    if (pick == 1) ticks = 1 + static_cast<uint32_t>(rng() % 5000);
    if (pick == 2) ticks = static_cast<uint32_t>(rng() % 0x7FFFFF00) + 1;
    // A new state each time, so runs never merge past the reader's count range.
    const uint8_t state =
        static_cast<uint8_t>(runs.empty() ? rng() % 4 : (runs.back().state + 1 + rng() % 3) % 4);
    runs.push_back({state, ticks});
  }
  return runs;
}

// Which runs a decoder must see whole: SE0, SE1 and the run after an SE0; K and
// J may be spread over items only between a packet's first K and its SE0.
std::vector<bool> wholeRuns(const std::vector<TrefRun>& runs) {
  std::vector<bool> whole;
  int mode = 0;  // 0 outside, 1 in packet, 2 the run after an SE0
  for (const TrefRun& run : runs) {
    bool w = true;
    if (mode == 2) {
      mode = 0;
    } else if (run.state == 0) {
      mode = 2;
    } else if (mode == 1 || run.state == 1) {
      w = run.state == 3;
      mode = 1;
    }
    whole.push_back(w);
  }
  return whole;
}

// The merged runs equal the input, and every run that must stay whole arrives as one item run.
void expectDecodesBack(const TlineRuns& input, const std::vector<uint8_t>& stream, const std::string& what) {
  std::vector<TrefRun> delivered;
  ASSERT_TRUE(refDecodeRaw(stream, delivered)) << what;
  const std::vector<TrefRun> expect = asRef(input);
  std::vector<TrefRun> merged = refMerge(delivered);
  ASSERT_EQ(merged.size(), expect.size()) << what;
  // Only a final run shorter than 3 ticks may grow, by at most 2.
  if (!expect.empty() && expect.back().ticks < 3 && merged.back().ticks <= 3)
    merged.back().ticks = expect.back().ticks;
  ASSERT_EQ(merged, expect) << what;

  const std::vector<bool> whole = wholeRuns(expect);
  size_t d = 0;
  for (size_t r = 0; r < expect.size() && d < delivered.size(); ++r) {
    while (d < delivered.size() && delivered[d].ticks == 0) ++d;
    if (whole[r] && r + 1 < expect.size()) {
      ASSERT_EQ(delivered[d].ticks, expect[r].ticks) << what << " run " << r;
      ++d;
      continue;
    }
    uint64_t sum = 0;
    while (d < delivered.size() && sum < expect[r].ticks) sum += delivered[d++].ticks;
  }
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

TEST(RawEncoder, RandomRunsDecodeBackInEveryForm) {
  std::mt19937_64 rng(42);
  int kinds[6] = {};  // six-sample, three-sample, 10 count, 110 count, marker, filler
  for (int round = 0; round < 300; ++round) {
    TlineRuns runs = randomRuns(rng, 1 + static_cast<int>(rng() % 300));
    TrawOptions options;
    options.varied = round % 3 != 0;
    options.seed = rng();
    options.fillerBytes = static_cast<unsigned>(rng() % 4);
    const std::vector<uint8_t> whole = encodeRaw(runs, options);
    expectDecodesBack(runs, whole, "round " + std::to_string(round));

    // The same runs in random chunks, a run sometimes cut between two chunks.
    TrawEncoder encoder(options);
    std::vector<uint8_t> chunked;
    TlineRuns chunk;
    for (TlineRun run : runs) {
      if (run.ticks > 1 && rng() % 4 == 0) {
        const uint32_t part = 1 + static_cast<uint32_t>(rng() % (run.ticks - 1));
        chunk.push_back({run.state, part});
        encoder.encode(chunk, chunked);
        chunk.clear();
        run.ticks -= part;
      }
      chunk.push_back(run);
      if (rng() % 3 == 0) {
        encoder.encode(chunk, chunked);
        chunk.clear();
      }
    }
    encoder.encode(chunk, chunked);
    encoder.finish(chunked);
    expectDecodesBack(runs, chunked, "chunked round " + std::to_string(round));
    if (!options.varied) {
      EXPECT_EQ(chunked, whole);
    }

    kinds[5] += whole.size() > 8 && whole[8] >= 0x80;
    bool afterItem = false;
    for (uint8_t b : items(whole)) {
      const bool count = afterItem && (b & 0xC0) == 0x80   ? (kinds[2]++, true)
                         : afterItem && (b & 0xE0) == 0xC0 ? (kinds[3]++, true)
                                                           : false;
      if (count) continue;
      if (b < 0x40) kinds[0]++;
      if (b >= 0x40 && b < 0x80) kinds[1]++;
      if (b >= 0x80) kinds[4]++;
      afterItem = true;
    }
  }
  for (int k = 0; k < 6; ++k) EXPECT_GT(kinds[k], 20) << "byte kind " << k;
}
