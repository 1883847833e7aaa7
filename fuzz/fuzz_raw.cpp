// A raw capture stream through the whole decode to rows, text and boxes.
#include <vector>

#include "decode/ovexthrd.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> raw(data, data + size);
  TexThread decoder;
  if (decoder.startDecode(&raw)) fuzz::renderRows(*decoder.capture, true);
  return 0;
}
