#include <gtest/gtest.h>

#include <vector>

#include "decode/ovraw.h"
#include "linestream.h"

namespace {

using linestream::magicBytes;

std::vector<uint8_t> withMagic(std::vector<uint8_t> items) {
  std::vector<uint8_t> v = magicBytes();
  v.insert(v.end(), items.begin(), items.end());
  return v;
}

std::vector<TrawItem> allItems(Traw& raw) {
  std::vector<TrawItem> items;
  TrawItem it;
  while (raw.getItem(it)) items.push_back(it);
  return items;
}

// "K3 J75" style text of the runs, with start/end continuity checked.
std::string runText(const std::vector<TrawItem>& items) {
  static const char* names[] = {"0", "K", "J", "1"};
  std::string s;
  uint64_t t = items.empty() ? 0 : items.front().start;
  for (const TrawItem& it : items) {
    EXPECT_EQ(it.start, t);
    EXPECT_EQ(it.end, it.start + static_cast<uint64_t>(it.count));
    t = it.end;
    if (!s.empty()) s += ' ';
    s += names[it.val] + std::to_string(it.count);
  }
  return s;
}

std::string decode(const std::vector<uint8_t>& items) {
  Traw raw;
  EXPECT_TRUE(raw.addRawData(withMagic(items)));
  return runText(allItems(raw));
}

}  // namespace

TEST(RawHeader, MagicFillerAndSplitAppends) {
  Traw raw;
  std::vector<uint8_t> fillerOnly = withMagic({0x80, 0xFF, 0xC3});
  EXPECT_FALSE(raw.addRawData(fillerOnly));
  TrawItem it;
  EXPECT_FALSE(raw.getItem(it));

  raw.reset();
  EXPECT_FALSE(raw.addRawData(magicBytes()));  // exactly the magic

  raw.reset();
  std::vector<uint8_t> bad = withMagic({0x3F});
  bad[4] = 'W';
  EXPECT_FALSE(raw.addRawData(bad));
  EXPECT_EQ(raw.getPosition(), 4u);
  EXPECT_FALSE(raw.getItem(it));
  EXPECT_EQ(it.start, 0u);
  EXPECT_EQ(it.end, 0u);
  // The verdict was taken: a good tail does not revive it.
  EXPECT_FALSE(raw.addRawData({0x15}));

  // Filler is skipped; the position lands on the first item byte.
  raw.reset();
  EXPECT_TRUE(raw.addRawData(withMagic({0x80, 0xFE, 0x15})));
  EXPECT_EQ(raw.getPosition(), 10u);

  // A first append shorter than the magic: the check runs again on the next.
  std::vector<uint8_t> whole = withMagic({0x81, 0x15});
  Traw split;
  EXPECT_FALSE(split.addRawData({whole.begin(), whole.begin() + 5}));
  EXPECT_TRUE(split.addRawData({whole.begin() + 5, whole.end()}));
  EXPECT_EQ(runText(allItems(split)), "K1 J1 K1 J1 K1 J1");

  // Split right after the magic or inside the filler: still decided later.
  for (size_t cut : {size_t{8}, size_t{9}}) {
    Traw late;
    EXPECT_FALSE(late.addRawData({whole.begin(), whole.begin() + cut}));
    EXPECT_TRUE(late.addRawData({whole.begin() + cut, whole.end()}));
    EXPECT_EQ(allItems(late).size(), 6u);
  }
}

TEST(RawItems, DataBytesMarkersAndMerging) {
  // Bit 5 is the earliest sample; without a count the latest lasts one tick.
  EXPECT_EQ(decode({0x15}), "K1 J1 K1 J1 K1 J1");
  // 5 + 1 * 64 = 69: the latest J lasts 70, merged with five earlier J ticks.
  EXPECT_EQ(decode({0x3F, 0x85, 0xC1}), "J75");
  // Marker low bits are ignored; a marker without count is an SE0 of 0 ticks.
  // (Right after the magic a marker would be skipped as filler.)
  EXPECT_EQ(decode({0x3F, 0xE3, 0x82, 0xE0, 0x15}), "J6 02 00 K1 J1 K1 J1 K1 J1");
  // Three-sample bytes: bits 5..4 earliest, any of the four states.
  EXPECT_EQ(decode({0x56}), "K2 J1");
  EXPECT_EQ(decode({0x4F, 0x83}), "01 15");
  EXPECT_EQ(decode({0x40, 0x81}), "04");
  // Six J ticks with count 1: merged across the count into one run.
  EXPECT_EQ(decode({0x3F, 0x81, 0x00}), "J7 K6");
  // Runs are not merged across item bytes.
  EXPECT_EQ(decode({0x3F, 0x3F}), "J6 J6");
}

TEST(RawItems, CountBytes) {
  // 110bbbbb alone is b; 10a 110b 110c is a + 64b + 4096c.
  EXPECT_EQ(decode({0x00, 0xC7}), "K13");
  EXPECT_EQ(decode({0x00, 0x81, 0xC2, 0xC3}), "K" + std::to_string(6 + 1 + 128 + 3 * 4096));
  // Every 10xxxxxx byte adds unmultiplied and resets the multiplier to 64.
  EXPECT_EQ(decode({0x00, 0x81, 0xC1, 0x82, 0xC1}), "K" + std::to_string(6 + 1 + 64 + 2 + 64));
  // A 111xxxxx byte ends the count and is a marker.
  EXPECT_EQ(decode({0x00, 0x82, 0xE0, 0x83}), "K8 03");
  // A count at the very end of the stream is used as far as it goes.
  EXPECT_EQ(decode({0x00, 0x82, 0xC1}), "K72");
  // Totals are 32-bit: the largest total gives a run longer than 32 bits
  // that still counts forward in time.
  std::vector<uint8_t> huge = {0x3F, 0xBF};
  for (int i = 0; i < 6; ++i) huge.push_back(0xDF);
  uint32_t total = 63;
  uint32_t mult = 64;
  for (int i = 0; i < 6; ++i, mult *= 64) total += 31u * mult;
  Traw raw;
  ASSERT_TRUE(raw.addRawData(withMagic(huge)));
  const std::vector<TrawItem> items = allItems(raw);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].count, int64_t{total} + 6);
  EXPECT_GT(items[0].count, 0);
  EXPECT_EQ(raw.getPosition(), 8 + huge.size());

  // The largest total in one byte's latest sample does not wrap to zero.
  std::vector<uint8_t> wrap = {0x00};
  for (uint8_t c : linestream::countBytes(UINT32_MAX)) wrap.push_back(c);
  EXPECT_EQ(decode(wrap), "K" + std::to_string(uint64_t{UINT32_MAX} + 6));
}

TEST(RawItems, EndOfStreamAndReset) {
  Traw raw;
  ASSERT_TRUE(raw.addRawData(withMagic({0x3F, 0x82})));
  TrawItem it;
  ASSERT_TRUE(raw.getItem(it));
  EXPECT_EQ(it.count, 8);
  EXPECT_EQ(raw.getPosition(), 10u);
  EXPECT_FALSE(raw.getItem(it));
  EXPECT_EQ(it.start, 8u);
  EXPECT_EQ(it.end, 8u);
  // Appending more after the end continues the stream and its time.
  EXPECT_TRUE(raw.addRawData({0x00}));
  ASSERT_TRUE(raw.getItem(it));
  EXPECT_EQ(it.start, 8u);
  EXPECT_EQ(it.val, lineK);

  raw.reset();
  EXPECT_EQ(raw.getPosition(), 0u);
  EXPECT_FALSE(raw.getItem(it));
  EXPECT_EQ(it.start, 0u);
  EXPECT_TRUE(raw.addRawData(withMagic({0x15})));
  EXPECT_EQ(allItems(raw).size(), 6u);
}

TEST(RawItems, SixSampleFastPathKeepsTimeAndPosition) {
  // takeSixSamples must leave the reader exactly where delivering the runs
  // would have left it.
  const std::vector<uint8_t> items = {0x15, 0x3F, 0x85, 0xC1, 0x4F, 0x00, 0x81};
  Traw slow;
  ASSERT_TRUE(slow.addRawData(withMagic(items)));
  Traw fast;
  ASSERT_TRUE(fast.addRawData(withMagic(items)));
  std::vector<std::pair<int, uint32_t>> taken;
  auto take = [&](size_t stopAfter) {
    taken.clear();
    fast.takeSixSamples([&](uint8_t b, uint32_t extra) {
      taken.emplace_back(b, extra);
      return taken.size() < stopAfter;
    });
  };
  take(1);  // the step can stop after the first byte
  EXPECT_EQ(taken, (std::vector<std::pair<int, uint32_t>>{{0x15, 0}}));
  take(9);  // stops by itself before the three-sample byte
  EXPECT_EQ(taken, (std::vector<std::pair<int, uint32_t>>{{0x3F, 69}}));
  TrawItem it;
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(slow.getItem(it));
  EXPECT_EQ(fast.getPosition(), slow.getPosition());
  take(9);
  EXPECT_TRUE(taken.empty());
  // Not while runs of a byte are pending.
  ASSERT_TRUE(fast.getItem(it));
  take(9);
  EXPECT_TRUE(taken.empty());
  ASSERT_TRUE(fast.getItem(it));
  take(9);
  EXPECT_EQ(taken, (std::vector<std::pair<int, uint32_t>>{{0x00, 1}}));
  // The time goes on as if every run had been delivered.
  EXPECT_FALSE(fast.getItem(it));
  EXPECT_EQ(it.start, 6u + 75 + 3 + 7);
}

TEST(TrawInPlace, ReadsACallersBufferLikeACopy) {
  const std::vector<uint8_t> stream = {'O', 'R', 'L', 'A', 'V', 'E', 'X', '.', 0x80, 0x3F, 0x85, 0xC1, 0x15};
  Traw copied;
  Traw inPlace;
  ASSERT_TRUE(copied.addRawData(stream));
  ASSERT_TRUE(inPlace.useRawData(stream));
  TrawItem a, b;
  while (copied.getItem(a)) {
    ASSERT_TRUE(inPlace.getItem(b));
    EXPECT_EQ(a.val, b.val);
    EXPECT_EQ(a.count, b.count);
    EXPECT_EQ(a.end, b.end);
  }
  EXPECT_FALSE(inPlace.getItem(b));
  EXPECT_EQ(inPlace.getPosition(), stream.size());

  // Appending after an in-place start copies first, so the caller's buffer is never written.
  Traw mixed;
  const std::vector<uint8_t> head(stream.begin(), stream.begin() + 10);
  const std::vector<uint8_t> tail(stream.begin() + 10, stream.end());
  ASSERT_TRUE(mixed.useRawData(head));
  EXPECT_TRUE(mixed.addRawData(tail));
  EXPECT_EQ(head.size(), 10u);
  TrawItem item;
  int runs = 0;
  while (mixed.getItem(item)) ++runs;
  EXPECT_EQ(item.end, a.end);
  EXPECT_EQ(runs, 7);  // J 75, then K J K J K J
  EXPECT_FALSE(Traw().useRawData({'O', 'R', 'L'}));
}
