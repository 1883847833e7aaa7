// The bus decoder on packets far longer than the bus allows.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decode/ovraw2bin.h"
#include "synth/rawencoder.h"

namespace {

std::vector<uint8_t> le32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<uint8_t> cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<TeventBin> decodeStream(const std::vector<uint8_t>& bytes) {
  Traw raw;
  raw.addRawData(bytes);
  std::vector<TeventBin> events;
  Traw2bin bin;
  EXPECT_TRUE(bin.buildBinVec(raw, events));
  return events;
}

}  // namespace

TEST(Raw2bin, HostileLengthsAndPositions) {
  // Billions of ticks inside a packet: the bytes stop at the bound, the next
  // packet keeps its timing.
  synth::TlineRuns runs{{synth::lsJ, 20}};
  synth::appendPacket(runs, {0x4B});
  runs.pop_back();
  runs.push_back({runs.back().state == synth::lsK ? synth::lsJ : synth::lsK, 4000000000u});
  runs.push_back({synth::lsSe0, 2});
  runs.push_back({synth::lsJ, 100});
  const uint64_t next = synth::runTicks(runs);
  synth::appendPacket(runs, {0xD2});
  runs.push_back({synth::lsJ, 9});
  const std::vector<uint8_t> stream = synth::encodeRaw(runs);
  Traw raw;
  ASSERT_TRUE(raw.addRawData(stream));
  Traw2bin bin;
  std::vector<TeventBin> ev;
  uint64_t position = 0, last = 0;
  while (bin.getNextBinEvent(raw, ev, position)) {
    EXPECT_GE(position, last);
    last = position;
  }
  EXPECT_EQ(position, stream.size());
  ASSERT_EQ(ev.size(), 2u);
  ASSERT_EQ(ev[0].bytes.size(), Traw2bin::maxPacketBytes + 4);
  EXPECT_EQ(ev[0].bytes[0], 0x4B);
  EXPECT_EQ(ev[0].bytes[Traw2bin::maxPacketBytes - 1], 0xFF);
  EXPECT_EQ(std::vector<uint8_t>(ev[0].bytes.end() - 4, ev[0].bytes.end()), le32(100));
  EXPECT_EQ(ev[1].time, next);
  EXPECT_EQ(ev[1].bytes, cat({0xD2}, le32(9)));

  // The largest legal packet is kept whole; a longer one keeps its first bytes.
  std::mt19937 rng(7);
  synth::Tbytes big(5000);
  for (uint8_t& b : big) b = uint8_t(rng());
  for (size_t size : {size_t{1026}, big.size()}) {
    synth::TlineRuns one{{synth::lsJ, 3}};
    synth::appendPacket(one, synth::Tbytes(big.begin(), big.begin() + size));
    one.push_back({synth::lsJ, 5});
    const std::vector<TeventBin> got = decodeStream(synth::encodeRaw(one));
    ASSERT_EQ(got.size(), 1u);
    const size_t kept = std::min(size, Traw2bin::maxPacketBytes);
    EXPECT_EQ(got[0].bytes, cat(synth::Tbytes(big.begin(), big.begin() + kept), le32(5)));
  }
}
