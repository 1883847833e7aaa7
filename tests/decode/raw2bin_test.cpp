#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decode/ovraw2bin.h"
#include "decode/ovutils.h"
#include "linestream.h"

namespace {

using linestream::Tpacking;
using linestream::Trun;

// Packings whose counts keep every run whole, so idle lengths and SE1 runs
// arrive as single runs; the others split them and only the reference test
// uses them.
const std::vector<Tpacking> packings = {
    {true, true, true}, {false, true, true}, {true, false, true}, {false, false, true}};
const std::vector<Tpacking> splitPackings = {{true, false, false}, {false, false, false}};

std::vector<TeventBin> decodeStream(const std::vector<uint8_t>& bytes) {
  Traw raw;
  raw.addRawData(bytes);
  std::vector<TeventBin> events;
  Traw2bin bin;
  EXPECT_TRUE(bin.buildBinVec(raw, events));
  return events;
}

std::vector<TeventBin> decodeRuns(const std::vector<Trun>& runs, Tpacking packing = {}) {
  return decodeStream(linestream::stream(runs, packing));
}

std::vector<uint8_t> le32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<uint8_t> cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string describe(const TeventBin& e) {
  std::string s = "kind " + std::to_string(e.kind) + " flags " + std::to_string(e.flags) + " time " +
                  std::to_string(e.time) + " bytes";
  for (uint8_t b : e.bytes) s += " " + std::to_string(b);
  return s;
}

std::vector<std::string> describe(const std::vector<TeventBin>& events) {
  std::vector<std::string> v;
  for (const TeventBin& e : events) v.push_back(describe(e));
  return v;
}

std::string packetEvent(uint64_t time, uint16_t flags, const std::vector<uint8_t>& bytes, uint32_t idle) {
  TeventBin e;
  e.kind = 1;
  e.flags = flags;
  e.time = time;
  e.bytes = cat(bytes, le32(idle));
  return describe(e);
}

// The bus-level algorithm done literally, one vector entry per tick, over the
// runs the reader delivers. Only usable for small streams.
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
      for (size_t j = sync; j < st.size(); ++j) {
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

const std::vector<uint8_t> token = {0xE1, 0x15, 0x2A};

}  // namespace

TEST(Raw2bin, TokenAfterFullOrShortSyncInEveryPacking) {
  for (int syncLen : {8, 6}) {
    std::vector<Trun> runs = {{lineJ, 20}};
    linestream::append(runs, linestream::packet(token, 500, syncLen));
    for (const Tpacking& packing : packings) {
      SCOPED_TRACE(std::to_string(syncLen) + " " + std::to_string(packing.six) +
                   std::to_string(packing.counts));
      EXPECT_EQ(describe(decodeRuns(runs, packing)),
                std::vector<std::string>{packetEvent(20, 0, token, 500)});
    }
  }
  // The bytes end in 500 as 0xF4 0x01 0x00 0x00.
  EXPECT_EQ(le32(500), (std::vector<uint8_t>{0xF4, 0x01, 0x00, 0x00}));

  // The caller learns the byte position after each event, and false at the end.
  std::vector<Trun> two = linestream::packet(token, 40);
  linestream::append(two, linestream::packet({0xD2}, 600));
  const std::vector<uint8_t> bytes = linestream::stream(two);
  Traw raw;
  ASSERT_TRUE(raw.addRawData(bytes));
  Traw2bin bin;
  std::vector<TeventBin> events;
  uint64_t position = 0;
  uint64_t last = 0;
  while (bin.getNextBinEvent(raw, events, position)) {
    EXPECT_GE(position, last);
    last = position;
  }
  EXPECT_EQ(position, bytes.size());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].bytes, cat({0xD2}, le32(600)));
}

TEST(Raw2bin, SyncRequiresOneTickFirstKAndEightEntries) {
  // First K of 2 ticks: the event carries only the idle bytes.
  std::vector<Trun> runs = linestream::packet(token, 500);
  runs[0].ticks = 2;
  EXPECT_EQ(describe(decodeRuns(runs)), std::vector<std::string>{packetEvent(0, 0, {}, 500)});

  // Fewer than 8 entries: no sync even though K J K J K K matches.
  const std::vector<Trun> shortPacket = {{lineK, 1}, {lineJ, 1},   {lineK, 1}, {lineJ, 1},
                                         {lineK, 3}, {lineSe0, 2}, {lineJ, 9}};
  EXPECT_EQ(describe(decodeRuns(shortPacket)), std::vector<std::string>{packetEvent(0, 0, {}, 9)});

  // K J K J K J J...: neither pattern.
  std::vector<Trun> broken = {{lineK, 1}, {lineJ, 1}, {lineK, 1}, {lineJ, 1}, {lineK, 1}, {lineJ, 2}};
  linestream::append(broken, {{lineK, 9}, {lineJ, 4}, {lineSe0, 2}, {lineJ, 7}});
  EXPECT_EQ(describe(decodeRuns(broken)), std::vector<std::string>{packetEvent(0, 0, {}, 7)});

  // An SE1 counts as a J entry for the sync too, and flags the packet.
  std::vector<Trun> se1Sync = linestream::packet(token, 30);
  se1Sync[1] = {lineSe1, 4};
  EXPECT_EQ(describe(decodeRuns(se1Sync, {false, true, true})),
            std::vector<std::string>{packetEvent(0, flagSe1, token, 30)});
}

TEST(Raw2bin, ResetsAndIdleBetweenEvents) {
  // (A stream cannot start with a run marker: it would be taken for filler.)
  EXPECT_EQ(describe(decodeRuns({{lineJ, 6}, {lineSe0, 30000}, {lineJ, 12}})),
            std::vector<std::string>{describe(TeventBin{3, 0, 6, {0x10, 0x30, 0x75, 0, 0, 0x0C, 0, 0, 0}})});

  // Idle J and stray SE1 make nothing; an SE0 of no length is still a reset.
  std::vector<uint8_t> s = linestream::stream({{lineJ, 7}, {lineSe1, 3}, {lineJ, 5}});
  s = cat(s, {0xE0, 0x3F, 0x81});
  EXPECT_EQ(describe(decodeStream(s)),
            std::vector<std::string>{describe(TeventBin{3, 0, 15, cat(cat({0x10}, le32(0)), le32(7))})});

  // The run after a reset's SE0 is consumed whatever it is: a packet that
  // follows with no idle in between loses its first K, and its J; the packet
  // then starts at the third sync tick, where K J K J K K is a short sync.
  std::vector<Trun> runs = {{lineJ, 6}, {lineSe0, 100}};
  linestream::append(runs, linestream::packet(token, 50));
  const std::vector<TeventBin> events = decodeRuns(runs);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].bytes, cat(cat({0x10}, le32(100)), le32(1)));
  EXPECT_EQ(describe(events[1]), packetEvent(6 + 100 + 2, 0, token, 50));
}

TEST(Raw2bin, Se1InsidePacketIsOneJEntry) {
  std::vector<uint8_t> data = {0xC3, 0x01, 0x02, 0x80, 0x40};
  std::vector<Trun> runs = linestream::packet(data, 25);
  // Replace a one-tick J in the body by SE1 of any length.
  size_t at = 0;
  for (size_t i = 8; i < runs.size() && at == 0; ++i) {
    if (runs[i].state == lineJ && runs[i].ticks == 1) at = i;
  }
  ASSERT_NE(at, 0u);
  for (uint64_t len : {1u, 5u, 1000u}) {
    runs[at] = {lineSe1, len};
    for (const Tpacking& packing : packings) {
      EXPECT_EQ(describe(decodeRuns(runs, packing)),
                std::vector<std::string>{packetEvent(0, flagSe1, data, 25)});
    }
  }
  // Next to a J, the SE1 still adds exactly one entry.
  std::vector<Trun> longer = linestream::packet(data, 25);
  for (size_t i = 8; i < longer.size(); ++i) {
    if (longer[i].state == lineJ && longer[i].ticks == 2) {
      longer[i].ticks = 1;
      longer.insert(longer.begin() + long(i) + 1, {lineSe1, 3});
      break;
    }
  }
  ASSERT_EQ(decodeRuns(longer).size(), 1u);
  EXPECT_EQ(decodeRuns(longer)[0].bytes, cat(data, le32(25)));
}

TEST(Raw2bin, UnstuffingPartialBytesAndPidFlags) {
  // 0xFF bytes force stuffed bits, removed again.
  const std::vector<uint8_t> data = {0x4B, 0xFF, 0xFF, 0x7E, 0x3F, 0xFF, 0x00};
  std::vector<int> bits = linestream::stuff(linestream::bitsOf(data));
  ASSERT_GT(bits.size(), linestream::bitsOf(data).size());
  auto decodeBits = [](const std::vector<int>& b, Tpacking packing = {}) {
    std::vector<Trun> runs = linestream::packetRuns(b);
    linestream::append(runs, {{lineSe0, 2}, {lineJ, 80}});
    return decodeRuns(runs, packing);
  };
  for (const Tpacking& packing : packings) {
    const std::vector<TeventBin> ev = decodeBits(bits, packing);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].bytes, cat(data, le32(80)));
  }

  // A stuffing error (a 1 where the stuffed 0 belongs) is removed all the same.
  size_t stuffed = 0;
  for (size_t i = 6; i < bits.size() && stuffed == 0; ++i) {
    bool six = true;
    for (size_t k = i - 6; k < i; ++k) six = six && bits[k] == 1;
    if (six) stuffed = i;
  }
  ASSERT_NE(stuffed, 0u);
  ASSERT_EQ(bits[stuffed], 0);
  std::vector<int> error = bits;
  error[stuffed] = 1;
  for (const Tpacking& packing : packings)
    EXPECT_EQ(decodeBits(error, packing)[0].bytes, cat(data, le32(80)));

  // A final group of fewer than 8 bits is dropped.
  std::vector<int> partial = bits;
  for (int b : {1, 0, 1, 1, 0, 0, 1}) partial.push_back(b);
  EXPECT_EQ(decodeBits(partial)[0].bytes, cat(data, le32(80)));

  // PID flags: check nibble and full-speed legality.
  auto flagsOf = [](uint8_t pid) { return decodeRuns(linestream::packet({pid, 0x00}, 10))[0].flags; };
  EXPECT_EQ(flagsOf(0xE1), 0);
  EXPECT_EQ(flagsOf(0xE2), flagPidCheck);
  EXPECT_EQ(flagsOf(0x87), flagPidIllegal);
  EXPECT_EQ(flagsOf(0x00), flagPidCheck | flagPidIllegal);
  EXPECT_EQ(flagsOf(0x4B), 0);
  // No byte decoded: no PID flags.
  EXPECT_EQ(decodeBits({0, 1, 1, 0})[0].flags, 0);
  EXPECT_EQ(decodeBits({0, 1, 1, 0})[0].bytes, le32(80));
}

TEST(Raw2bin, HostileAndTruncatedStreams) {
  // Billions of ticks inside a packet: the bytes stop at the bound, the rest
  // of the stream keeps its timing.
  std::vector<Trun> runs = linestream::packetRuns(linestream::stuff(linestream::bitsOf({0x4B})));
  const uint64_t huge = 4000000000u;
  runs.push_back({runs.back().state == lineK ? lineJ : lineK, huge});
  linestream::append(runs, {{lineSe0, 2}, {lineJ, 100}});
  uint64_t nextStart = 0;
  for (const Trun& r : runs) nextStart += r.ticks;
  linestream::append(runs, linestream::packet(token, 9));
  for (const Tpacking& packing : {Tpacking{true, true, true}, Tpacking{false, true, true}}) {
    const std::vector<TeventBin> ev = decodeRuns(runs, packing);
    ASSERT_EQ(ev.size(), 2u);
    ASSERT_EQ(ev[0].bytes.size(), Traw2bin::maxPacketBytes + 4);
    EXPECT_EQ(ev[0].bytes[0], 0x4B);
    EXPECT_EQ(ev[0].bytes[Traw2bin::maxPacketBytes - 1], 0xFF);
    EXPECT_EQ(std::vector<uint8_t>(ev[0].bytes.end() - 4, ev[0].bytes.end()), le32(100));
    EXPECT_EQ(describe(ev[1]), packetEvent(nextStart, 0, token, 9));
  }

  // The largest legal packet is kept whole; a longer one keeps its first bytes.
  std::mt19937 rng(7);
  std::vector<uint8_t> big(5000);
  for (uint8_t& b : big) b = uint8_t(rng());
  big[0] = 0xC3;
  const std::vector<uint8_t> legal(big.begin(), big.begin() + 1026);
  EXPECT_EQ(decodeRuns(linestream::packet(legal, 5))[0].bytes, cat(legal, le32(5)));
  const std::vector<uint8_t> bound(big.begin(), big.begin() + Traw2bin::maxPacketBytes);
  EXPECT_EQ(decodeRuns(linestream::packet(big, 5))[0].bytes, cat(bound, le32(5)));

  // A stream that ends inside a packet, in a count, right after a reset's SE0
  // or right after the end of packet loses only that last event.
  const std::vector<uint8_t> head = linestream::stream(linestream::packet(token, 33));
  const std::vector<uint8_t> pkt = linestream::packRuns(linestream::packet(token, 33));
  const std::vector<std::vector<uint8_t>> tails = {
      {pkt.begin(), pkt.begin() + 2},
      {0x15, 0x00, 0x81, 0xC5},
      {0x15, 0x00, 0x0F, 0xE0},
      {0xE0, 0x85},
      {0xE0, 0x85, 0xC1},
  };
  for (const auto& tail : tails) {
    const std::vector<TeventBin> ev = decodeStream(cat(head, tail));
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(describe(ev[0]), packetEvent(0, 0, token, 33));
  }
}

TEST(Raw2bin, MatchesTickByTickReference) {
  std::mt19937 rng(2024);
  auto pick = [&](unsigned n) { return unsigned(rng() % n); };
  for (int round = 0; round < 300; ++round) {
    std::vector<Trun> runs;
    for (int seg = 0; seg < 12; ++seg) {
      const unsigned what = pick(10);
      if (what < 6) {
        std::vector<uint8_t> bytes(pick(40));
        for (uint8_t& b : bytes) b = uint8_t(rng());
        std::vector<int> bits = linestream::stuff(linestream::bitsOf(bytes));
        for (unsigned k = pick(3); k > 0 && !bits.empty(); --k) bits[pick(unsigned(bits.size()))] ^= 1;
        for (unsigned k = pick(8); k > 0; --k) bits.push_back(int(pick(2)));
        std::vector<Trun> p = linestream::packetRuns(bits, pick(2) ? 8 : 6);
        if (pick(8) == 0) p[0].ticks = 2;
        if (pick(4) == 0) p[pick(unsigned(p.size()))] = {lineSe1, 1 + pick(4)};
        if (pick(6) == 0) p[pick(unsigned(p.size()))].ticks += pick(300);
        linestream::append(runs, p);
        linestream::append(runs, {{lineSe0, 1 + pick(3)}, {lineJ, 1 + pick(700)}});
      } else if (what < 8) {
        linestream::append(runs, {{lineSe0, pick(4000)}, {lineJ, 1 + pick(20)}});
      } else {
        const uint32_t states[] = {lineJ, lineSe1, lineK};
        runs.push_back({states[pick(3)], 1 + pick(9)});
      }
    }
    const Tpacking packing = pick(2) ? packings[pick(4)] : splitPackings[pick(2)];
    const std::vector<uint8_t> s = linestream::stream(runs, packing);
    SCOPED_TRACE(round);
    EXPECT_EQ(describe(decodeStream(s)), describe(referenceEvents(s)));
  }

  // Arbitrary item bytes, counts kept small so the reference stays small.
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> s = linestream::magicBytes();
    for (unsigned n = 1 + pick(400); n > 0; --n) {
      uint8_t b = uint8_t(rng());
      if (b >= 0xC0 && b < 0xE0) b = uint8_t(0x80 | (b & 0x3F));
      s.push_back(b);
    }
    SCOPED_TRACE(round);
    EXPECT_EQ(describe(decodeStream(s)), describe(referenceEvents(s)));
  }
}
