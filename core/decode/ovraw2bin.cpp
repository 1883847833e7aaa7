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

// Up to this many extra ticks of a six-sample byte's latest sample are part
// of its table step; real packets never hold a level longer than 7 ticks.
constexpr unsigned maxTableExtra = 7;

// One entry per (row, six-sample byte, extra ticks), indexed by
// (row << 9) | (byte << 3) | extra: the decoded bits in time order from bit 0
// (bits 0..11), how many there are (bits 12..15) and the next row shifted
// left by 9 (bits 16..). One lookup per byte keeps the chain of dependent
// loads from one byte to the next short.
struct TsixTable {
  std::array<uint32_t, 14 * 64 * (maxTableExtra + 1)> entry{};

  constexpr TsixTable() {
    for (unsigned row = 0; row < 14; ++row) {
      for (unsigned b = 0; b < 64; ++b) {
        for (unsigned extra = 0; extra <= maxTableExtra; ++extra) {
          unsigned ones = row >> 1;
          unsigned prev = row & 1;
          unsigned bits = 0;
          unsigned n = 0;
          for (int k = 5; k >= -static_cast<int>(extra); --k) {  // bit 5 is the earliest sample
            const unsigned level = k >= 0 ? (b >> k) & 1 : b & 1;
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
          entry[(row << 9) | (b << 3) | extra] = bits | (n << 12) | (makeRow(ones, prev) << 25);
        }
      }
    }
  }
};

constexpr TsixTable sixTable;

// Stores the complete bytes of the bit accumulator (up to 7) as one word.
inline void flushBytes(uint8_t* o, size_t& no, uint64_t& a, unsigned& na) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(o + no, &a, 8);
#else
  for (int k = 0; k < 8; ++k) o[no + k] = static_cast<uint8_t>(a >> (8 * k));
#endif
  const unsigned whole = na >> 3;
  no += whole;
  a >>= whole * 8;
  na -= whole * 8;
}

void putLe32(uint8_t* at, int64_t value) {
  // Longer runs than 32 bits can hold only come from hostile counts; saturate
  // rather than wrap so the length stays recognisably huge.
  const uint32_t x = value > int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(value);
  at[0] = static_cast<uint8_t>(x);
  at[1] = static_cast<uint8_t>(x >> 8);
  at[2] = static_cast<uint8_t>(x >> 16);
  at[3] = static_cast<uint8_t>(x >> 24);
}

}  // namespace

class Traw2bin::Timpl {
 public:
  bool getNextBinEvent(Traw& raw, std::vector<TeventBin>& events, uint64_t& position);

 private:
  enum class Phase { sync, data, done };
  // The event being read when the reader ran dry: a growing stream finishes
  // it with its next bytes.
  enum class Open { none, resetIdle, packetBody, packetIdle };

  bool getVal(Traw& raw, TrawItem& item) {
    if (!raw.getItem(item)) return false;
    readSome = true;
    return true;
  }
  void startPacket(const TrawItem& first);
  void continueEvent(Traw& raw, std::vector<TeventBin>& events);
  void getBinPacket(Traw& raw, std::vector<TeventBin>& events);
  void getBinUSBreset(Traw& raw, std::vector<TeventBin>& events);
  void doSyncPattern();
  void doConvertToBin(uint32_t state, int64_t ticks);
  void doNRZI(unsigned level, int64_t ticks);
  void doUnStuff(unsigned bit, uint64_t moreOnes);
  void doSixSamples(Traw& raw);
  void doLevels(unsigned levels, int count);
  void putBits(uint64_t bits, unsigned n);
  void putOnes(uint64_t n);

  Open open = Open::none;
  TrawItem openFirst;  // the event's first run
  uint16_t packetFlags = 0;
  bool readSome = false;  // a run or a six-sample byte was taken in this call
  Phase phase = Phase::sync;
  uint32_t head[8] = {};  // first states of the packet, for sync detection
  unsigned nHead = 0;
  unsigned row = 0;  // makeRow(unstuffer state, previous level)
  uint64_t acc = 0;  // decoded bits not yet forming a byte
  unsigned nAcc = 0;
  size_t nOut = 0;
  // Decoded bytes, then the idle length; the table steps store whole 8-byte
  // words and may run past the bound by one.
  uint8_t out[maxPacketBytes + 16] = {};
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
  readSome = false;
  TrawItem item;
  if (open == Open::none && getVal(raw, item)) {
    openFirst = item;
    if (item.val == lineSe0) {
      open = Open::resetIdle;
    } else if (item.val == lineK) {
      startPacket(item);
    }
    // Idle J and stray SE1 between events carry nothing.
  }
  continueEvent(raw, events);
  position = raw.getPosition();
  return readSome;
}

// Goes on with the open event until it is complete or the reader runs dry.
void Traw2bin::Timpl::continueEvent(Traw& raw, std::vector<TeventBin>& events) {
  switch (open) {
    case Open::resetIdle:
      getBinUSBreset(raw, events);
      break;
    case Open::packetBody:
    case Open::packetIdle:
      getBinPacket(raw, events);
      break;
    case Open::none:
      break;
  }
}

void Traw2bin::Timpl::getBinUSBreset(Traw& raw, std::vector<TeventBin>& events) {
  TrawItem next;
  if (!getVal(raw, next)) return;
  open = Open::none;
  uint8_t bytes[9] = {0x10};
  putLe32(bytes + 1, openFirst.count);
  putLe32(bytes + 5, next.count);
  TeventBin& ev = events.emplace_back();
  ev.kind = srcKindReset;
  ev.time = openFirst.start;
  ev.bytes.assign(bytes, bytes + 9);
}

void Traw2bin::Timpl::startPacket(const TrawItem& first) {
  open = Open::packetBody;
  phase = Phase::sync;
  nHead = 0;
  nOut = 0;
  packetFlags = 0;
  doConvertToBin(lineK, first.count);
}

void Traw2bin::Timpl::getBinPacket(Traw& raw, std::vector<TeventBin>& events) {
  TrawItem item;
  while (open == Open::packetBody) {
    doSixSamples(raw);
    if (!getVal(raw, item)) return;
    if (item.val == lineSe0) {
      open = Open::packetIdle;
    } else if (item.val == lineSe1) {
      packetFlags = flagSe1;
      doConvertToBin(lineJ, 1);
    } else {
      doConvertToBin(item.val, item.count);
    }
  }
  TrawItem idle;
  if (!getVal(raw, idle)) return;
  open = Open::none;

  uint16_t flags = packetFlags;
  if (nOut > 0) {
    const unsigned p = out[0];
    if (((~p >> 4) ^ p) & 0x0F) flags |= flagPidCheck;
    if (!utils::pidIsFsLegal(static_cast<int>(p & 15))) flags |= flagPidIllegal;
  }
  TeventBin& ev = events.emplace_back();
  ev.kind = srcKindPacket;
  ev.flags = flags;
  ev.time = openFirst.start;
  putLe32(out + nOut, idle.count);
  ev.bytes.assign(out, out + nOut + 4);
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
  unsigned levels = 0;
  for (unsigned i = syncLen; i < 8; ++i) levels = (levels << 1) | (head[i] == lineK ? 0 : 1);
  doLevels(levels, 8 - syncLen);
}

// A few single ticks, the earliest in the highest of the count level bits.
void Traw2bin::Timpl::doLevels(unsigned levels, int count) {
  if (phase != Phase::data) return;
  unsigned ones = row >> 1;
  unsigned prev = row & 1;
  uint64_t a = acc;
  unsigned na = nAcc;
  for (int k = count - 1; k >= 0; --k) {
    const unsigned level = (levels >> k) & 1;
    const unsigned bit = level == prev;
    prev = level;
    if (ones == stuffSkip) {
      ones = 0;
      continue;
    }
    a |= uint64_t{bit} << na;
    ++na;
    ones = bit ? ones + 1 : 0;
  }
  row = makeRow(ones, prev);
  flushBytes(out, nOut, a, na);
  acc = a;
  nAcc = na;
  if (nOut >= maxPacketBytes) {
    nOut = maxPacketBytes;
    phase = Phase::done;
  }
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

// Six-sample bytes inside a packet take one table step each, and a short
// count after them one more; bytes are stored a word at a time. Before the
// sync is complete only the ticks matter; after collecting stopped, nothing
// does.
void Traw2bin::Timpl::doSixSamples(Traw& raw) {
  for (;;) {
    if (phase != Phase::data) {
      bool took = false;
      raw.takeSixSamples([&](uint8_t b, uint32_t extra) {
        took = readSome = true;
        if (phase == Phase::sync) {
          int k = 5;
          for (; k >= 0 && nHead < 8; --k) head[nHead++] = (b >> k) & 1 ? lineJ : lineK;
          if (nHead == 8) doSyncPattern();
          if (k >= 0) doLevels(b & ((2u << k) - 1), k + 1);
          if (extra != 0) doConvertToBin(b & 1 ? lineJ : lineK, extra);
        }
        return phase != Phase::data;
      });
      if (!took || phase != Phase::data) return;
    }
    unsigned r = row << 9;
    uint64_t a = acc;
    unsigned na = nAcc;
    size_t no = nOut;
    uint8_t* o = out;
    uint32_t longExtra = 0;
    const size_t before = raw.getPosition();
    raw.takeSixSamples([&](uint8_t b, uint32_t extra) {
      const uint32_t isLong = extra > maxTableExtra;
      const uint32_t e = sixTable.entry[r | (b << 3) | (extra & (isLong - 1))];
      a |= uint64_t{e & 0xFFFu} << na;
      na += (e >> 12) & 15;
      r = e >> 16;
      // Every step stores a word: cheaper than a branch on whether a byte is full.
      flushBytes(o, no, a, na);
      if (isLong) {
        longExtra = extra;
        return false;
      }
      return no < maxPacketBytes;
    });
    row = r >> 9;
    acc = a;
    nAcc = na;
    nOut = no;
    if (raw.getPosition() != before) readSome = true;
    if (no >= maxPacketBytes) {
      nOut = maxPacketBytes;
      phase = Phase::done;
    } else if (longExtra != 0) {
      // The latest sample lasts longExtra more ticks of its level: all 1 bits.
      doUnStuff(1, longExtra - 1);
    } else {
      return;
    }
  }
}
