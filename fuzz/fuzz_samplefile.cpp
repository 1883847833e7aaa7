// A sample file, plain or gzip (one member or several), loaded and rendered.
#include <memory>

#include "files/ovdataio.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Tcapture rows;
  TdataIO io;
  const unsigned count = io.loadLinearFile(fuzz::memoryFile(data, size), rows);
  if (count == 0 && rows.rowCount() != 0) __builtin_trap();  // a failed load hands nothing out
  fuzz::renderRows(rows);
  return 0;
}
