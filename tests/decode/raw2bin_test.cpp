// The bus decoder against a literal reading of the bus rules, one vector entry
// per tick, on synthesized traffic and on arbitrary item bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decode/ovraw2bin.h"
#include "decode/ovutils.h"
#include "synth/rawencoder.h"

namespace {

std::vector<uint8_t> le32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<uint8_t> cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::string> describe(const std::vector<TeventBin>& events) {
  std::vector<std::string> v;
  for (const TeventBin& e : events) {
    std::string s = "kind " + std::to_string(e.kind) + " flags " + std::to_string(e.flags) + " time " +
                    std::to_string(e.time) + " bytes";
    for (uint8_t b : e.bytes) s += " " + std::to_string(b);
    v.push_back(s);
  }
  return v;
}

std::vector<TeventBin> decodeStream(const std::vector<uint8_t>& bytes) {
  Traw raw;
  raw.addRawData(bytes);
  std::vector<TeventBin> events;
  Traw2bin bin;
  EXPECT_TRUE(bin.buildBinVec(raw, events));
  return events;
}

std::vector<TeventBin> referenceEvents(const std::vector<uint8_t>& stream) {
  Traw raw;
  raw.addRawData(stream);
  std::vector<TrawItem> runs;
  TrawItem it;
  while (raw.getItem(it)) runs.push_back(it);

  std::vector<TeventBin> events;
  size_t i = 0;
  while (i < runs.size()) {
    const TrawItem& r = runs[i++];
    if (r.val == lineSe0) {
      if (i == runs.size()) break;
      TeventBin e;
      e.kind = 3;
      e.time = r.start;
      e.bytes = cat(cat({0x10}, le32(uint32_t(r.count))), le32(uint32_t(runs[i++].count)));
      events.push_back(e);
      continue;
    }
    if (r.val != lineK) continue;
    std::vector<uint32_t> st(size_t(r.count), lineK);
    uint16_t flags = 0;
    bool eop = false;
    while (i < runs.size() && !eop) {
      const TrawItem& x = runs[i++];
      if (x.val == lineSe0) {
        eop = true;
      } else if (x.val == lineSe1) {
        flags = flagSe1;
        st.push_back(lineJ);
      } else {
        st.insert(st.end(), size_t(x.count), x.val);
      }
    }
    if (!eop || i == runs.size()) break;
    const uint32_t idle = uint32_t(runs[i++].count);
    size_t sync = 0;
    if (st.size() >= 8 && st[0] == lineK && st[1] == lineJ && st[2] == lineK && st[3] == lineJ &&
        st[4] == lineK) {
      if (st[5] == lineK) sync = 6;
      if (st[5] == lineJ && st[6] == lineK && st[7] == lineK) sync = 8;
    }
    std::vector<uint8_t> bytes;
    if (sync > 0) {
      int prev = 0;
      int ones = 0;
      bool skip = false;
      unsigned acc = 0;
      int n = 0;
      for (size_t j = sync; j < st.size() && bytes.size() < Traw2bin::maxPacketBytes; ++j) {
        const int level = st[j] == lineK ? 0 : 1;
        const int bit = level == prev;
        prev = level;
        if (skip) {
          skip = false;
          ones = 0;
          continue;
        }
        acc |= unsigned(bit) << n;
        if (++n == 8) {
          bytes.push_back(uint8_t(acc));
          acc = 0;
          n = 0;
        }
        ones = bit ? ones + 1 : 0;
        if (ones == 6) skip = true;
      }
      if (!bytes.empty()) {
        const unsigned p = bytes[0];
        if (((~p >> 4) ^ p) & 15) flags |= flagPidCheck;
        if (!utils::pidIsFsLegal(int(p))) flags |= flagPidIllegal;
      }
    }
    TeventBin e;
    e.kind = 1;
    e.flags = flags;
    e.time = r.start;
    e.bytes = cat(bytes, le32(idle));
    events.push_back(e);
  }
  return events;
}

// Bus-like runs: packets, some damaged or of random line states after a
// sync, resets, idle and stray states.
synth::TlineRuns randomBus(std::mt19937& rng) {
  auto pick = [&](unsigned n) { return unsigned(rng() % n); };
  synth::TlineRuns runs;
  synth::appendRun(runs, synth::lsJ, 1 + pick(30));
  for (int seg = 0; seg < 12; ++seg) {
    const unsigned what = pick(10);
    if (what < 6) {
      synth::Tbytes bytes(pick(40));
      for (uint8_t& b : bytes) b = pick(3) ? uint8_t(rng()) : 0xFF;
      synth::TpacketFaults faults;
      faults.shortSync = pick(2);
      faults.brokenSync = pick(8) == 0;
      faults.stuffViolation = pick(4) == 0;
      if (pick(4) == 0) faults.se1AtBit = int(pick(80)), faults.se1Ticks = 1 + pick(4);
      if (pick(4) == 0) {
        synth::appendPacket(runs, {0x80}, faults);  // the sync only...
        runs.pop_back();                            // ...without its EOP
        for (unsigned k = pick(60); k > 0; --k) synth::appendRun(runs, uint8_t(1 + pick(2)), 1 + pick(8));
        synth::appendRun(runs, synth::lsSe0, 1 + pick(3));
      } else {
        synth::appendPacket(runs, bytes, faults);
      }
      synth::appendRun(runs, synth::lsJ, 1 + pick(700));
    } else if (what < 8) {
      synth::appendRun(runs, synth::lsSe0, pick(4000) + 1);
      synth::appendRun(runs, synth::lsJ, 1 + pick(20));
    } else {
      synth::appendRun(runs, uint8_t(1 + pick(3)), 1 + pick(9));
    }
  }
  return runs;
}

}  // namespace

TEST(Raw2bin, MatchesTickByTickReference) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 300; ++round) {
    synth::TrawOptions options;
    options.varied = round % 4 != 0;
    options.seed = rng();
    options.fillerBytes = rng() % 3;
    const std::vector<uint8_t> s = synth::encodeRaw(randomBus(rng), options);
    SCOPED_TRACE(round);
    EXPECT_EQ(describe(decodeStream(s)), describe(referenceEvents(s)));
  }

  // Arbitrary item bytes, counts kept small so the reference stays small.
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> s = synth::encodeRaw({});
    s.resize(8);
    for (unsigned n = 1 + rng() % 400; n > 0; --n) {
      uint8_t b = uint8_t(rng());
      if (b >= 0xC0 && b < 0xE0) b = uint8_t(0x80 | (b & 0x3F));
      s.push_back(b);
    }
    SCOPED_TRACE(round);
    EXPECT_EQ(describe(decodeStream(s)), describe(referenceEvents(s)));
  }
}

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
