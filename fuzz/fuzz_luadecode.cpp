// The decode scripts over the rows of a loaded sample file.
#include <memory>

#include "files/ovdataio.h"
#include "files/ovlua.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::useSourceScripts();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto rows = std::make_shared<Tcapture>();
  if (TdataIO().loadLinearFile(fuzz::memoryFile(data, size), *rows) == 0) return 0;
  static TluaState lua;
  if (!lua.loadError().empty()) __builtin_trap();  // a fuzz run without scripts would test nothing
  lua.setRows(rows);
  for (size_t i = 0; i < rows->rowCount(); ++i) lua.decode(rows->row(i).obj);
  return 0;
}
