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

  // Appends v; until a header verdict has moved the read position, checks the
  // header again. Returns whether the header is OK.
  bool addRawData(const std::vector<uint8_t>& v);
  void reset();
  // Next run; false when the header is bad or the stream is exhausted (then
  // start and end both hold the current time).
  bool getItem(TrawItem& item);

  bool checkHeader();
  // Decodes the next item byte and its count into pending runs.
  bool refill();
  // Next pending run, refilling when none is left.
  bool getVal(int& val, int64_t& count);
  // Reads the count bytes at the position; 0 when there are none.
  uint32_t getNextCount();

  bool headerOK() const { return headerOk; }
  // Byte position in the stream reached so far.
  size_t getPosition() const { return pos; }
  // Sum of the lengths of all runs delivered so far.
  uint64_t getTime() const { return time; }

  // Fast path for the packet decoder, which needs ticks rather than merged
  // runs: when no run is pending and the next item is a six-sample byte,
  // consumes it with its count. extra is the number of ticks the latest sample
  // lasts beyond one; the running time advances as if the runs were delivered.
  bool takeSixSamples(uint8_t& samples, uint32_t& extra) {
    if (pending != 0 || pos >= buf.size()) return false;
    const uint8_t b = buf[pos];
    if (b >= 0x40 || !headerOk) return false;
    ++pos;
    extra = (pos < buf.size() && isCountByte(buf[pos])) ? getNextCount() : 0;
    time += 6 + uint64_t{extra};
    samples = b;
    return true;
  }

 private:
  static bool isCountByte(uint8_t b) { return b >= 0x80 && b < 0xE0; }

  std::vector<uint8_t> buf;
  size_t pos = 0;
  // Runs of the current item byte, latest first; pending - 1 indexes the next
  // one to deliver (the earliest).
  uint32_t pendVal[6] = {};
  int64_t pendCount[6] = {};
  int pending = 0;
  bool headerOk = false;
  uint64_t time = 0;
};
