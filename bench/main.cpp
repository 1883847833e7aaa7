#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench.h"
#include "decode/ovarena.h"
#include "decode/ovmemtune.h"

namespace {

std::vector<std::pair<const char*, BenchSuite>>& suites() {
  static std::vector<std::pair<const char*, BenchSuite>> all;
  return all;
}

}  // namespace

BenchRegistrar::BenchRegistrar(const char* name, BenchSuite suite) { suites().emplace_back(name, suite); }

void report(const std::string& name, double value, const std::string& unit) {
  std::printf("%s %.3f %s\n", name.c_str(), value, unit.c_str());
  std::fflush(stdout);
}

size_t heapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd + arena::bytesHeld();
}

long anonBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("RssAnon:", 0) == 0) return std::stol(line.substr(8)) * 1024L;
  return 0;
}

long peakRssBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;
}

int main(int argc, char** argv) {
  memtune::forLargeDecodes();  // as the programs measured do
  BenchOptions options;
  const char* only = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      options.quick = true;
    } else if (std::strcmp(argv[i], "--large") == 0) {
      options.large = true;
    } else if (std::strcmp(argv[i], "--no-find") == 0) {
      options.find = false;
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else {
      std::fprintf(stderr, "usage: twr-bench [--quick] [--large] [--no-find] [--only SUITE]\n");
      return 2;
    }
  }
  for (const auto& [name, suite] : suites()) {
    if (only && std::strcmp(only, name) != 0) continue;
    suite(options);
  }
  return 0;
}
