#include "files/ovbytesize.h"

#include <cerrno>
#include <cstdlib>

bool parseByteSize(const std::string& text, uint64_t& bytes) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str() || text[0] == '-' || errno == ERANGE) return false;
  int shift = 0;
  const std::string suffix = end;
  if (suffix == "K" || suffix == "k")
    shift = 10;
  else if (suffix == "M" || suffix == "m")
    shift = 20;
  else if (suffix == "G" || suffix == "g")
    shift = 30;
  else if (!suffix.empty())
    return false;
  if (value > UINT64_MAX >> shift) return false;
  bytes = uint64_t{value} << shift;
  return true;
}
