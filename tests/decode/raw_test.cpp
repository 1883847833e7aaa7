#include <gtest/gtest.h>

#include <vector>

#include "decode/ovraw.h"
#include "synth/rawencoder.h"

namespace {

std::vector<uint8_t> withMagic(std::vector<uint8_t> items) {
  std::vector<uint8_t> v = synth::encodeRaw({});  // the magic alone
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

TEST(RawHeader, MagicAndFiller) {
  Traw raw;
  EXPECT_FALSE(raw.addRawData(withMagic({0x80, 0xFF, 0xC3})));  // filler only
  raw.reset();
  std::vector<uint8_t> bad = withMagic({0x3F});
  bad[4] = 'W';
  EXPECT_FALSE(raw.addRawData(bad));
  EXPECT_EQ(raw.getPosition(), 4u);
  TrawItem it;
  EXPECT_FALSE(raw.getItem(it));
  EXPECT_FALSE(raw.addRawData({0x15}));  // the verdict was taken: a good tail does not revive it

  // After a reset a new stream: filler is skipped, the position lands on the first item byte.
  raw.reset();
  EXPECT_TRUE(raw.addRawData(withMagic({0x80, 0xFE, 0x15})));
  EXPECT_EQ(raw.getPosition(), 10u);
  EXPECT_EQ(runText(allItems(raw)), "K1 J1 K1 J1 K1 J1");
  EXPECT_FALSE(Traw().useRawData({'O', 'R', 'L'}));  // read in place, as the decoder does
}

TEST(RawItems, CountBytes) {
  // 110bbbbb alone is b; 10a 110b 110c is a + 64b + 4096c.
  EXPECT_EQ(decode({0x00, 0xC7}), "K13");
  EXPECT_EQ(decode({0x00, 0x81, 0xC2, 0xC3}), "K" + std::to_string(6 + 1 + 128 + 3 * 4096));
  // Every 10xxxxxx byte adds unmultiplied and resets the multiplier to 64; a
  // 111xxxxx byte ends the count and is a marker.
  EXPECT_EQ(decode({0x00, 0x81, 0xC1, 0x82, 0xC1, 0xE0, 0x83}),
            "K" + std::to_string(6 + 1 + 64 + 2 + 64) + " 03");
  // Totals are 32-bit: the largest gives a run longer than 32 bits, still forward in time.
  std::vector<uint8_t> wrap = {0x00};
  synth::appendCompactCount(UINT32_MAX, wrap);
  EXPECT_EQ(decode(wrap), "K" + std::to_string(uint64_t{UINT32_MAX} + 6));
}
