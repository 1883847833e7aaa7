// Object text lines read one by one, written back and drawn as boxes.
#include <memory>
#include <stdexcept>
#include <string>

#include "boxes/ovboxes.h"
#include "files/ovrowutils.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Tboxes boxes;
  for (size_t start = 0; start <= input.size();) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    std::shared_ptr<Tbase> obj;
    try {
      obj = rowutils::objFromString(input.substr(start, end - start));
    } catch (const std::logic_error&) {  // malformed numbers and levels are the reader's refusals
    }
    if (obj) {
      const std::string text = rowutils::objToString(obj);
      boxes.getBoxesString(obj);
      // What the writer wrote must read back as the same text.
      if (!text.empty() &&
          rowutils::objToString(rowutils::objFromString(text.substr(0, text.size() - 1))) != text)
        __builtin_trap();
    }
    start = end + 1;
  }
  return 0;
}
