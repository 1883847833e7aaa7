#include "linestream.h"

#include <algorithm>
#include <stdexcept>

namespace linestream {

namespace {

bool isDifferential(uint32_t s) { return s == lineK || s == lineJ; }

// Walks the ticks of a run list.
class TtickCursor {
 public:
  explicit TtickCursor(const std::vector<Trun>& r) : runs(r) { skipEmpty(); }

  bool atEnd() const { return ri == runs.size(); }
  const Trun& run() const { return runs[ri]; }
  bool atRunStart() const { return used == 0; }
  uint64_t leftInRun() const { return runs[ri].ticks - used; }

  // States of up to n ticks ahead.
  std::vector<uint32_t> peek(size_t n) const {
    std::vector<uint32_t> s;
    size_t i = ri;
    uint64_t u = used;
    while (s.size() < n && i < runs.size()) {
      if (u < runs[i].ticks) {
        s.push_back(runs[i].state);
        ++u;
      } else {
        ++i;
        u = 0;
      }
    }
    return s;
  }

  void advance(uint64_t k) {
    while (k > 0 && !atEnd()) {
      const uint64_t take = std::min(k, leftInRun());
      used += take;
      k -= take;
      if (used == runs[ri].ticks) nextRun();
    }
  }

  void nextRun() {
    ++ri;
    used = 0;
    skipEmpty();
  }

 private:
  void skipEmpty() {
    while (ri < runs.size() && runs[ri].ticks == 0 && runs[ri].state != lineSe0) ++ri;
  }

  const std::vector<Trun>& runs;
  size_t ri = 0;
  uint64_t used = 0;
};

}  // namespace

std::vector<uint8_t> magicBytes() { return {'O', 'R', 'L', 'A', 'V', 'E', 'X', '.'}; }

std::vector<uint8_t> countBytes(uint64_t v) {
  if (v > UINT32_MAX) throw std::invalid_argument("count does not fit 32 bits");
  std::vector<uint8_t> out;
  if (v == 0) return out;
  // v = a + 64 * q. A 110xxxxx byte holds a base-64 digit of q only up to 31,
  // but each 10xxxxxx byte restarts the multiplier at 64, so q is spread over
  // as many digit chains as needed.
  std::vector<unsigned> digits;
  for (uint64_t q = v / 64; q != 0; q /= 64) digits.push_back(static_cast<unsigned>(q % 64));
  uint8_t lead = static_cast<uint8_t>(0x80 | (v % 64));
  do {
    out.push_back(lead);
    lead = 0x80;
    size_t used = 0;
    for (size_t i = 0; i < digits.size(); ++i) {
      if (digits[i] != 0) used = i + 1;
    }
    for (size_t i = 0; i < used; ++i) {
      const unsigned c = std::min(digits[i], 31u);
      out.push_back(static_cast<uint8_t>(0xC0 | c));
      digits[i] -= c;
    }
  } while (std::any_of(digits.begin(), digits.end(), [](unsigned d) { return d != 0; }));
  return out;
}

std::vector<uint8_t> packRuns(const std::vector<Trun>& runs, Tpacking packing) {
  std::vector<uint8_t> out;
  TtickCursor cur(runs);
  while (!cur.atEnd()) {
    if (packing.markers && cur.run().state == lineSe0 && cur.atRunStart()) {
      out.push_back(0xE0);
      for (uint8_t c : countBytes(cur.run().ticks)) out.push_back(c);
      cur.nextRun();
      continue;
    }
    const std::vector<uint32_t> ahead = cur.peek(6);
    bool six = packing.six && ahead.size() == 6;
    for (uint32_t s : ahead) six = six && isDifferential(s);
    const size_t n = six ? 6 : 3;
    uint8_t byte = six ? 0x00 : 0x40;
    uint32_t last = ahead.front();
    for (size_t i = 0; i < n; ++i) {
      last = i < ahead.size() ? ahead[i] : last;
      if (six) {
        byte |= static_cast<uint8_t>((last == lineJ) << (5 - i));
      } else {
        byte |= static_cast<uint8_t>(last << (2 * (2 - i)));
      }
    }
    out.push_back(byte);
    cur.advance(n);
    if (packing.counts && !cur.atEnd() && !cur.atRunStart()) {
      for (uint8_t c : countBytes(cur.leftInRun())) out.push_back(c);
      cur.nextRun();
    }
  }
  return out;
}

std::vector<uint8_t> stream(const std::vector<Trun>& runs, Tpacking packing) {
  std::vector<uint8_t> out = magicBytes();
  for (uint8_t b : packRuns(runs, packing)) out.push_back(b);
  return out;
}

std::vector<int> bitsOf(const std::vector<uint8_t>& bytes) {
  std::vector<int> bits;
  for (uint8_t b : bytes) {
    for (int k = 0; k < 8; ++k) bits.push_back((b >> k) & 1);
  }
  return bits;
}

std::vector<int> stuff(const std::vector<int>& bits) {
  std::vector<int> out;
  int ones = 0;
  for (int b : bits) {
    out.push_back(b);
    ones = b ? ones + 1 : 0;
    if (ones == 6) {
      out.push_back(0);
      ones = 0;
    }
  }
  return out;
}

std::vector<Trun> packetRuns(const std::vector<int>& stuffedBits, int syncLen) {
  std::vector<uint32_t> ticks = {lineK, lineJ, lineK, lineJ, lineK, lineJ, lineK, lineK};
  if (syncLen == 6) ticks = {lineK, lineJ, lineK, lineJ, lineK, lineK};
  uint32_t level = lineK;
  for (int b : stuffedBits) {
    if (b == 0) level = level == lineK ? lineJ : lineK;
    ticks.push_back(level);
  }
  std::vector<Trun> runs;
  for (uint32_t s : ticks) {
    if (!runs.empty() && runs.back().state == s) {
      ++runs.back().ticks;
    } else {
      runs.push_back({s, 1});
    }
  }
  return runs;
}

std::vector<Trun> packet(const std::vector<uint8_t>& bytes, uint64_t idle, int syncLen) {
  std::vector<Trun> runs = packetRuns(stuff(bitsOf(bytes)), syncLen);
  runs.push_back({lineSe0, 2});
  runs.push_back({lineJ, idle});
  return runs;
}

void append(std::vector<Trun>& a, const std::vector<Trun>& b) { a.insert(a.end(), b.begin(), b.end()); }

}  // namespace linestream
