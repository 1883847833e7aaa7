#include "decode/ovraw.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char magic[8] = {'O', 'R', 'L', 'A', 'V', 'E', 'X', '.'};

// The merged runs of a data byte, latest first, before its count is added to
// the latest one.
struct TitemRuns {
  int n = 0;
  uint32_t val[6] = {};
  int64_t len[6] = {};
};

struct TitemRunTable {
  TitemRuns byte[128] = {};

  constexpr TitemRunTable() {
    for (unsigned b = 0; b < 128; ++b) {
      TitemRuns& r = byte[b];
      const bool six = b < 0x40;
      for (unsigned k = 0; k < (six ? 6u : 3u); ++k) {  // latest sample first
        const uint32_t state = six ? (((b >> k) & 1) ? lineJ : lineK) : ((b >> (2 * k)) & 3);
        if (r.n > 0 && r.val[r.n - 1] == state) {
          ++r.len[r.n - 1];
        } else {
          r.val[r.n] = state;
          r.len[r.n] = 1;
          ++r.n;
        }
      }
    }
  }
};

constexpr TitemRunTable itemRuns;

}  // namespace

bool Traw::addRawData(const std::vector<uint8_t>& v) {
  if (bytes != own.data()) own.assign(bytes, bytes + length);  // stop reading a caller's buffer
  own.insert(own.end(), v.begin(), v.end());
  bytes = own.data();
  length = own.size();
  if (pos == 0) headerOk = checkHeader();
  return headerOk;
}

bool Traw::useRawData(const std::vector<uint8_t>& v) {
  reset();
  bytes = v.data();
  length = v.size();
  headerOk = checkHeader();
  return headerOk;
}

void Traw::useGrowingData(const uint8_t* stream, size_t available, bool final) {
  own.clear();
  bytes = stream;
  // The last item byte, looked for from the end: count bytes are few.
  for (size_t i = available; !final && i > scanned; --i) {
    if (!isCountByte(stream[i - 1])) {
      lastItemByte = i - 1;
      break;
    }
  }
  scanned = std::max(scanned, available);
  length = final ? available : std::min(lastItemByte, available);
  if (pos == 0 && !headerOk) headerOk = checkHeader();
}

void Traw::reset() {
  own.clear();
  bytes = nullptr;
  length = 0;
  pos = 0;
  scanned = 0;
  lastItemByte = 0;
  pending = 0;
  headerOk = false;
  time = 0;
}

bool Traw::magicAt(const uint8_t* bytes, size_t length) {
  return length >= sizeof magic && std::memcmp(bytes, magic, sizeof magic) == 0;
}

bool Traw::checkHeader() {
  if (length < 8) return false;
  for (size_t i = 0; i < 8; ++i) {
    if (bytes[i] != static_cast<uint8_t>(magic[i])) {
      pos = i;
      return false;
    }
  }
  size_t i = 8;
  while (i < length && bytes[i] >= 0x80) ++i;
  // Magic and filler but no item byte yet: keep the position at 0 so that the
  // next append can still deliver the verdict instead of failing for good.
  if (i == length) return false;
  pos = i;
  return true;
}

uint32_t Traw::getNextCount() { return countAt(bytes, length, pos); }

bool Traw::refill() {
  if (pos >= length) return false;
  const uint8_t b = bytes[pos++];
  const uint32_t extra = getNextCount();
  if (b >= 0x80) {
    pendVal[0] = lineSe0;
    pendCount[0] = extra;
    pending = 1;
    return true;
  }
  const TitemRuns& runs = itemRuns.byte[b];
  pending = runs.n;
  std::memcpy(pendVal, runs.val, sizeof pendVal);
  std::memcpy(pendCount, runs.len, sizeof pendCount);
  pendCount[0] += extra;
  return true;
}
