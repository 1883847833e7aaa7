// A sample file, plain or gzip (one member or several), loaded and rendered.
#include <memory>

#include "files/ovdataio.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto objs = std::make_shared<TobjVec>();
  auto rows = std::make_shared<std::vector<TlinRow>>();
  TdataIO io;
  const unsigned count = io.loadLinearFile(fuzz::memoryFile(data, size), objs, rows);
  if (count == 0 && !rows->empty()) __builtin_trap();  // a failed load hands nothing out
  fuzz::renderRows(*rows);
  return 0;
}
