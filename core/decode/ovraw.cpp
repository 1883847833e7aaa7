#include "decode/ovraw.h"

namespace {

constexpr char magic[8] = {'O', 'R', 'L', 'A', 'V', 'E', 'X', '.'};

}  // namespace

bool Traw::addRawData(const std::vector<uint8_t>& v) {
  buf.insert(buf.end(), v.begin(), v.end());
  if (pos == 0) headerOk = checkHeader();
  return headerOk;
}

void Traw::reset() { *this = Traw(); }

bool Traw::checkHeader() {
  if (buf.size() < 8) return false;
  for (size_t i = 0; i < 8; ++i) {
    if (buf[i] != static_cast<uint8_t>(magic[i])) {
      pos = i;
      return false;
    }
  }
  size_t i = 8;
  while (i < buf.size() && buf[i] >= 0x80) ++i;
  // Magic and filler but no item byte yet: keep the position at 0 so that the
  // next append can still deliver the verdict instead of failing for good.
  if (i == buf.size()) return false;
  pos = i;
  return true;
}

uint32_t Traw::getNextCount() {
  uint32_t total = 0;
  uint32_t mult = 1;
  const size_t n = buf.size();
  while (pos < n) {
    const uint8_t b = buf[pos];
    if ((b & 0xC0) == 0x80) {
      total += b & 0x3F;
      mult = 64;
    } else if ((b & 0xE0) == 0xC0) {
      total += (b & 0x1Fu) * mult;
      mult *= 64;
    } else {
      break;
    }
    ++pos;
  }
  return total;
}

bool Traw::refill() {
  if (pos >= buf.size()) return false;
  const uint8_t b = buf[pos++];
  if (b >= 0x80) {
    pendVal[0] = lineSe0;
    pendCount[0] = getNextCount();
    pending = 1;
    return true;
  }
  // Samples latest first: bit 0 (or bits 1..0) is the latest.
  const bool six = b < 0x40;
  const int samples = six ? 6 : 3;
  const uint32_t latestExtra = getNextCount();
  int n = 0;
  for (int k = 0; k < samples; ++k) {
    const uint32_t state = six ? (((b >> k) & 1) ? lineJ : lineK) : ((b >> (2 * k)) & 3);
    const int64_t ticks = k == 0 ? int64_t{latestExtra} + 1 : 1;
    if (n > 0 && pendVal[n - 1] == state) {
      pendCount[n - 1] += ticks;
    } else {
      pendVal[n] = state;
      pendCount[n] = ticks;
      ++n;
    }
  }
  pending = n;
  return true;
}

bool Traw::getVal(int& val, int64_t& count) {
  if (pending == 0 && !refill()) return false;
  --pending;
  val = static_cast<int>(pendVal[pending]);
  count = pendCount[pending];
  return true;
}

bool Traw::getItem(TrawItem& item) {
  item.start = time;
  item.end = time;
  int val = 0;
  int64_t count = 0;
  if (!headerOk || !getVal(val, count)) return false;
  time += static_cast<uint64_t>(count);
  item.val = static_cast<uint32_t>(val);
  item.count = count;
  item.end = time;
  return true;
}
