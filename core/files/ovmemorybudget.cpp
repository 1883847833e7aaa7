#include "files/ovmemorybudget.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace membudget {

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

namespace {

// MemAvailable of /proc/meminfo: free memory and the caches the kernel can drop.
uint64_t availableBytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  uint64_t kb = 0;
  while (meminfo >> key >> kb) {
    if (key == "MemAvailable:") return kb * 1024;
    meminfo.ignore(64, '\n');
  }
  return uint64_t(sysconf(_SC_AVPHYS_PAGES)) * uint64_t(sysconf(_SC_PAGESIZE));
}

}  // namespace

uint64_t defaultBudget() {
  uint64_t bytes = 0;
  const char* set = std::getenv("TWR_MEMORY_BUDGET");
  if (set && parseByteSize(set, bytes)) return bytes;
  return availableBytes();
}

}  // namespace membudget
