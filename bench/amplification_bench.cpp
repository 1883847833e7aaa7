// Memory a decode holds per raw byte for hostile streams: the bound a capture
// buffer of a given size implies for the memory its decode needs.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bench.h"
#include "decode/ovexthrd.h"

namespace {

const uint8_t magic[] = {'O', 'R', 'L', 'A', 'V', 'E', 'X', '.'};

std::vector<uint8_t> stream(size_t size, uint8_t (*next)()) {
  std::vector<uint8_t> raw(magic, magic + sizeof magic);
  while (raw.size() < size) raw.push_back(next());
  return raw;
}

// Bytes held by the results of decoding raw, heap and store files, per raw byte.
double bytesPerRawByte(const std::vector<uint8_t>& raw) {
  TexThread ex;
  const size_t before = heapBytes();
  ex.startDecode(&raw);
  const size_t held = heapBytes() - before + ex.capture->storeBytes();
  return static_cast<double>(held) / static_cast<double>(raw.size());
}

}  // namespace

TWR_BENCH(amplification) {
  const size_t size = (options.quick ? 1u : 8u) << 20;
  // SE0, SE0, J in one byte: a bus reset per raw byte, the most objects a byte can make.
  report("amplification_reset_per_byte", bytesPerRawByte(stream(size, [] { return uint8_t{0x42}; })),
         "B/raw byte");
  report("amplification_random",
         bytesPerRawByte(stream(size,
                                [] {
                                  static std::mt19937 random(1);
                                  return static_cast<uint8_t>(random());
                                })),
         "B/raw byte");
}
