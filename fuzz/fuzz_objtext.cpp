// Object text lines read one by one, then written back and drawn as boxes.
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "files/ovrowutils.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  TobjVec objects;
  for (size_t start = 0; start <= input.size();) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    try {
      if (auto obj = rowutils::objFromString(input.substr(start, end - start))) objects.push_back(obj);
    } catch (const std::logic_error&) {  // malformed numbers and levels are the reader's refusals
    }
    start = end + 1;
  }
  fuzz::renderObjects(objects);
  return 0;
}
