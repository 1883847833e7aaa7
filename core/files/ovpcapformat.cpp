#include "files/ovpcapformat.h"

namespace pcapfmt {

uint64_t wireTicks(const uint8_t* bytes, size_t n) {
  // A zero is stuffed after six ones in a row; the sync ends with a one.
  uint64_t stuffed = 0;
  int ones = 1;
  for (size_t i = 0; i < n; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      if ((bytes[i] >> bit) & 1) {
        if (++ones == 6) {
          ++stuffed;
          ones = 0;
        }
      } else {
        ones = 0;
      }
    }
  }
  return 8 + 8 * static_cast<uint64_t>(n) + stuffed + 2;
}

}  // namespace pcapfmt
