// Reader of the compressed line-state stream sent by the capture device: a
// magic, filler bytes, then item bytes that carry line states and run lengths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Line states of the stream.
constexpr uint32_t lineSe0 = 0;
constexpr uint32_t lineK = 1;
constexpr uint32_t lineJ = 2;
constexpr uint32_t lineSe1 = 3;

// One run: a line state and how many ticks it lasted. count is 64-bit because
// a 32-bit total plus one, merged with five one-tick samples, exceeds 32 bits.
struct TrawItem {
  uint32_t val = 0;
  int64_t count = 0;
  uint64_t start = 0;
  uint64_t end = 0;
};

class Traw {
 public:
  Traw() = default;
  // A copy would share a caller's buffer without saying so.
  Traw(const Traw&) = delete;
  Traw& operator=(const Traw&) = delete;

  // Appends v; until a header verdict has moved the read position, checks the
  // header again. Returns whether the header is OK.
  bool addRawData(const std::vector<uint8_t>& v);
  // Reads v in place instead of copying it, which matters for captures of
  // gigabytes: v must stay alive and unchanged while runs are read. Replaces
  // anything added before; a later addRawData copies v first. Returns whether
  // the header is OK.
  bool useRawData(const std::vector<uint8_t>& v);
  // Reads a stream that grows in place: its first `available` bytes are at
  // `stream` and never change; final once no byte will follow. An item is read
  // only once whole (a count byte may still follow it), so a run is never cut
  // at a block end. The bytes must stay at `stream` until the next call; the
  // read position, pending runs and time carry on from the last call.
  void useGrowingData(const uint8_t* stream, size_t available, bool final);
  void reset();
  // Next run; false when the header is bad or the stream is exhausted (then
  // start and end both hold the current time).
  bool getItem(TrawItem& item) {
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

  bool checkHeader();
  // Whether bytes (at least 8 of them) start with the stream's magic.
  static bool magicAt(const uint8_t* bytes, size_t length);
  // Decodes the next item byte and its count into pending runs.
  bool refill();
  // Next pending run, refilling when none is left.
  bool getVal(int& val, int64_t& count) {
    if (pending == 0 && !refill()) return false;
    --pending;
    val = static_cast<int>(pendVal[pending]);
    count = pendCount[pending];
    return true;
  }
  // Reads the count bytes at the position; 0 when there are none.
  uint32_t getNextCount();

  // Byte position in the stream reached so far.
  size_t getPosition() const { return pos; }

  // Fast path for the packet decoder, which needs ticks rather than merged
  // runs: while no run is pending and the next item is a six-sample byte,
  // consumes it with its count and calls step(samples, extra), where extra is
  // the number of ticks the latest sample lasts beyond one. The running time
  // advances as if the runs had been delivered. Stops after a step that
  // returns false. Works on locals so that the caller's byte stores cannot
  // force the position back to memory on every byte.
  template <typename Tstep>
  void takeSixSamples(Tstep&& step) {
    if (pending != 0 || !headerOk) return;
    const uint8_t* p = bytes;
    const size_t n = length;
    size_t i = pos;
    uint64_t t = time;
    while (i < n && p[i] < 0x40) {
      const uint8_t b = p[i++];
      // Usually no count or one 10xxxxxx byte; decided without branching,
      // since either is as likely as the other inside a packet.
      uint8_t c = 0;
      uint8_t d = 0;
      if (i + 1 < n) {
        c = p[i];
        d = p[i + 1];
      } else if (i < n) {
        c = p[i];
      }
      const uint32_t one = (c & 0xC0) == 0x80;
      const uint32_t mask = 0u - one;  // masks rather than ?: to keep the compiler from branching
      uint32_t extra = c & 0x3Fu & mask;
      if (isCountByte(static_cast<uint8_t>(c ^ ((c ^ d) & mask)))) {
        extra = countAt(p, n, i);
      } else {
        i += one;
      }
      t += 6 + uint64_t{extra};
      if (!step(b, extra)) break;
    }
    pos = i;
    time = t;
  }

 private:
  static bool isCountByte(uint8_t b) { return static_cast<uint8_t>(b - 0x80) < 0x60; }
  // Reads the count bytes at p[i], moving i past them.
  static uint32_t countAt(const uint8_t* p, size_t n, size_t& i) {
    uint32_t total = 0;
    uint32_t mult = 1;
    for (; i < n; ++i) {
      const uint8_t b = p[i];
      if ((b & 0xC0) == 0x80) {
        total += b & 0x3F;
        mult = 64;
      } else if ((b & 0xE0) == 0xC0) {
        total += (b & 0x1Fu) * mult;
        mult *= 64;
      } else {
        break;
      }
    }
    return total;
  }

  // The stream is read through bytes/length: either own (appended copies) or
  // a caller's buffer given to useRawData.
  std::vector<uint8_t> own;
  const uint8_t* bytes = nullptr;
  size_t length = 0;
  size_t pos = 0;
  // Of a growing stream: bytes looked at so far, and the last of them that is
  // not a count byte (the start of the item that may still be growing).
  size_t scanned = 0;
  size_t lastItemByte = 0;
  // Runs of the current item byte, latest first; pending - 1 indexes the next
  // one to deliver (the earliest).
  uint32_t pendVal[6] = {};
  int64_t pendCount[6] = {};
  int pending = 0;
  bool headerOk = false;
  uint64_t time = 0;
};
