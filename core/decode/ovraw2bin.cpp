#include "decode/ovraw2bin.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "decode/ovutils.h"

namespace {

// The unstuffer's state: consecutive 1 bits seen (0..5), or 6 when the next
// bit is a stuffed bit to drop.
constexpr unsigned stuffSkip = 6;

// Packs the NRZI level of the previous tick with the unstuffer's state, so
// that one table step decodes a six-sample byte.
constexpr unsigned makeRow(unsigned ones, unsigned prevLevel) { return ones * 2 + prevLevel; }

// One entry per (row, six-sample byte): the decoded bits in time order from
// bit 0 (bits 0..5), how many there are (bits 6..8) and the next row (9..12).
struct TsixTable {
  std::array<uint16_t, 14 * 64> entry{};

  constexpr TsixTable() {
    for (unsigned row = 0; row < 14; ++row) {
      for (unsigned b = 0; b < 64; ++b) {
        unsigned ones = row >> 1;
        unsigned prev = row & 1;
        unsigned bits = 0;
        unsigned n = 0;
        for (int k = 5; k >= 0; --k) {  // bit 5 is the earliest sample
          const unsigned level = (b >> k) & 1;
          const unsigned bit = level == prev;
          prev = level;
          if (ones == stuffSkip) {
            ones = 0;
          } else {
            bits |= bit << n;
            ++n;
            ones = bit ? ones + 1 : 0;
          }
        }
        entry[(row << 6) | b] = static_cast<uint16_t>(bits | (n << 6) | (makeRow(ones, prev) << 9));
      }
    }
  }
};

constexpr TsixTable sixTable;

void appendLe32(std::vector<uint8_t>& v, size_t at, int64_t value) {
  // Longer runs than 32 bits can hold only come from hostile counts; saturate
  // rather than wrap so the length stays recognisably huge.
  const uint32_t x = value > int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(value);
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
  v[at + 2] = static_cast<uint8_t>(x >> 16);
  v[at + 3] = static_cast<uint8_t>(x >> 24);
}

}  // namespace

class Traw2bin::Timpl {
 public:
  bool getNextBinEvent(Traw& raw, std::vector<TeventBin>& events, uint64_t& position);

 private:
  enum class Phase { sync, data, done };

  bool getVal(Traw& raw, TrawItem& item) { return raw.getItem(item); }
  void getBinPacket(Traw& raw, std::vector<TeventBin>& events, const TrawItem& first);
  void getBinUSBreset(Traw& raw, std::vector<TeventBin>& events, const TrawItem& se0);
  // Idle J and stray SE1 between events carry nothing.
  void getBinTrash() {}
  void doSyncPattern();
  void doConvertToBin(uint32_t state, int64_t ticks);
  void doNRZI(unsigned level, int64_t ticks);
  void doUnStuff(unsigned bit, uint64_t moreOnes);
  void doSixSamples(Traw& raw);
  void putBits(uint64_t bits, unsigned n);
  void putOnes(uint64_t n);

  Phase phase = Phase::sync;
  uint32_t head[8] = {};  // first states of the packet, for sync detection
  unsigned nHead = 0;
  unsigned row = 0;  // makeRow(unstuffer state, previous level)
  uint64_t acc = 0;  // decoded bits not yet forming a byte
  unsigned nAcc = 0;
  size_t nOut = 0;
  uint8_t out[maxPacketBytes] = {};
};

Traw2bin::Traw2bin() : impl(std::make_unique<Timpl>()) {}
Traw2bin::~Traw2bin() = default;

bool Traw2bin::getNextBinEvent(Traw& raw, std::vector<TeventBin>& events, uint64_t& position) {
  return impl->getNextBinEvent(raw, events, position);
}

bool Traw2bin::buildBinVec(Traw& raw, std::vector<TeventBin>& events) {
  uint64_t position = 0;
  while (getNextBinEvent(raw, events, position)) {
  }
  return true;
}

bool Traw2bin::Timpl::getNextBinEvent(Traw& raw, std::vector<TeventBin>& events, uint64_t& position) {
  TrawItem item;
  const bool got = getVal(raw, item);
  if (got) {
    switch (item.val) {
      case lineSe0:
        getBinUSBreset(raw, events, item);
        break;
      case lineK:
        getBinPacket(raw, events, item);
        break;
      default:
        getBinTrash();
        break;
    }
  }
  position = raw.getPosition();
  return got;
}

void Traw2bin::Timpl::getBinUSBreset(Traw& raw, std::vector<TeventBin>& events, const TrawItem& se0) {
  TrawItem next;
  if (!getVal(raw, next)) return;
  TeventBin& ev = events.emplace_back();
  ev.kind = srcKindReset;
  ev.time = se0.start;
  ev.bytes.resize(9);
  ev.bytes[0] = 0x10;
  appendLe32(ev.bytes, 1, se0.count);
  appendLe32(ev.bytes, 5, next.count);
}

void Traw2bin::Timpl::getBinPacket(Traw& raw, std::vector<TeventBin>& events, const TrawItem& first) {
  phase = Phase::sync;
  nHead = 0;
  nOut = 0;
  uint16_t flags = 0;
  doConvertToBin(lineK, first.count);

  TrawItem item;
  for (;;) {
    doSixSamples(raw);
    if (!getVal(raw, item)) return;
    if (item.val == lineSe0) break;
    if (item.val == lineSe1) {
      flags = flagSe1;
      doConvertToBin(lineJ, 1);
    } else {
      doConvertToBin(item.val, item.count);
    }
  }
  TrawItem idle;
  if (!getVal(raw, idle)) return;

  if (nOut > 0) {
    const unsigned p = out[0];
    if (((~p >> 4) ^ p) & 0x0F) flags |= flagPidCheck;
    if (!utils::pidIsFsLegal(static_cast<int>(p & 15))) flags |= flagPidIllegal;
  }
  TeventBin& ev = events.emplace_back();
  ev.kind = srcKindPacket;
  ev.flags = flags;
  ev.time = first.start;
  ev.bytes.resize(nOut + 4);
  std::memcpy(ev.bytes.data(), out, nOut);
  appendLe32(ev.bytes, nOut, idle.count);
}

void Traw2bin::Timpl::doSyncPattern() {
  static constexpr uint32_t start[5] = {lineK, lineJ, lineK, lineJ, lineK};
  unsigned syncLen = 0;
  if (std::equal(start, start + 5, head)) {
    if (head[5] == lineK) {
      syncLen = 6;
    } else if (head[5] == lineJ && head[6] == lineK && head[7] == lineK) {
      syncLen = 8;
    }
  }
  if (syncLen == 0) {
    phase = Phase::done;
    return;
  }
  phase = Phase::data;
  row = makeRow(0, 0);  // the sync ends in K, level 0
  acc = 0;
  nAcc = 0;
  for (unsigned i = syncLen; i < 8; ++i) doNRZI(head[i] == lineK ? 0 : 1, 1);
}

// Takes a K or J run (an SE1 arrives here as one J tick).
void Traw2bin::Timpl::doConvertToBin(uint32_t state, int64_t ticks) {
  if (phase == Phase::sync) {
    while (ticks > 0 && nHead < 8) {
      head[nHead++] = state;
      --ticks;
    }
    if (nHead < 8) return;
    doSyncPattern();
  }
  if (phase == Phase::data && ticks > 0) doNRZI(state == lineK ? 0 : 1, ticks);
}

// A run of one level: its first tick decodes by comparison with the previous
// level, every further tick repeats the level and decodes as 1.
void Traw2bin::Timpl::doNRZI(unsigned level, int64_t ticks) {
  const unsigned bit = level == (row & 1);
  row = (row & ~1u) | level;
  doUnStuff(bit, static_cast<uint64_t>(ticks - 1));
}

void Traw2bin::Timpl::doUnStuff(unsigned bit, uint64_t moreOnes) {
  const unsigned level = row & 1;
  unsigned ones = row >> 1;
  if (ones == stuffSkip) {
    ones = 0;
  } else {
    putBits(bit, 1);
    ones = bit ? ones + 1 : 0;
  }
  if (moreOnes > 0) {
    // A long run of ones without walking it: fill up to the sixth 1, then
    // every 7 bits are one dropped stuffed bit and six 1s.
    uint64_t kept = 0;
    if (ones == stuffSkip) {
      --moreOnes;
      ones = 0;
    }
    const uint64_t first = std::min<uint64_t>(moreOnes, stuffSkip - ones);
    kept += first;
    moreOnes -= first;
    ones += static_cast<unsigned>(first);
    if (moreOnes > 0) {
      kept += moreOnes / 7 * 6;
      const unsigned rest = static_cast<unsigned>(moreOnes % 7);
      if (rest > 0) {
        kept += rest - 1;
        ones = rest - 1;
      }
    }
    putOnes(kept);
  }
  row = makeRow(ones, level);
}

void Traw2bin::Timpl::putBits(uint64_t bits, unsigned n) {
  if (phase != Phase::data) return;
  acc |= bits << nAcc;
  nAcc += n;
  if (nAcc >= 8) {
    out[nOut++] = static_cast<uint8_t>(acc);
    acc >>= 8;
    nAcc -= 8;
    if (nOut == maxPacketBytes) phase = Phase::done;
  }
}

void Traw2bin::Timpl::putOnes(uint64_t n) {
  const unsigned fill = static_cast<unsigned>(std::min<uint64_t>(n, (8 - nAcc) & 7));
  putBits((1u << fill) - 1, fill);
  n -= fill;
  if (phase != Phase::data) return;
  const size_t bytes = std::min<uint64_t>(n / 8, maxPacketBytes - nOut);
  std::memset(out + nOut, 0xFF, bytes);
  nOut += bytes;
  if (nOut == maxPacketBytes) {
    phase = Phase::done;
    return;
  }
  putBits((1u << (n % 8)) - 1, static_cast<unsigned>(n % 8));
}

// Six-sample bytes inside a packet are one table step each while the
// unstuffer state lives in registers. Before the sync is complete only the
// ticks matter; after collecting stopped, nothing does.
void Traw2bin::Timpl::doSixSamples(Traw& raw) {
  uint8_t b = 0;
  uint32_t extra = 0;
  for (;;) {
    if (phase != Phase::data) {
      if (!raw.takeSixSamples(b, extra)) return;
      if (phase == Phase::done) continue;
      for (int k = 5; k >= 0; --k) doConvertToBin((b >> k) & 1 ? lineJ : lineK, 1);
      if (extra != 0) doConvertToBin(b & 1 ? lineJ : lineK, extra);
      continue;
    }
    unsigned r = row;
    uint64_t a = acc;
    unsigned na = nAcc;
    size_t no = nOut;
    bool more = false;
    while ((more = raw.takeSixSamples(b, extra))) {
      const unsigned e = sixTable.entry[(r << 6) | b];
      a |= uint64_t{e & 63u} << na;
      na += (e >> 6) & 7;
      r = e >> 9;
      out[no] = static_cast<uint8_t>(a);
      const unsigned full = na >> 3;
      no += full;
      a >>= full * 8;
      na -= full * 8;
      if (extra != 0 || no == maxPacketBytes) break;
    }
    row = r;
    acc = a;
    nAcc = na;
    nOut = no;
    if (!more) return;
    if (no == maxPacketBytes) {
      phase = Phase::done;
    } else {
      // The latest sample lasts extra more ticks of its level: all 1 bits.
      doUnStuff(1, extra - 1);
    }
  }
}
