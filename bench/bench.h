// A small registry of benchmark suites. Each suite file registers itself with
// TWR_BENCH and prints its figures through report(), one line per figure, so
// runs can be compared across commits.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

struct BenchOptions {
  bool quick = false;  // smaller workloads, whole run under 30 s
  bool large = false;  // also the cases on a 1 GiB capture (needs about 1.5 GB in $TMPDIR)
  bool find = true;    // the find bar's cases, which can be left out to see what they leave behind
};

using BenchSuite = void (*)(const BenchOptions&);

struct BenchRegistrar {
  BenchRegistrar(const char* name, BenchSuite suite);
};

#define TWR_BENCH(name)                                     \
  static void name(const BenchOptions&);                    \
  static const BenchRegistrar name##Registrar(#name, name); \
  static void name(const BenchOptions& options)

// Prints "name value unit".
void report(const std::string& name, double value, const std::string& unit);

// Seconds since construction.
class Stopwatch {
 public:
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Peak resident set size of the process so far, in bytes.
long peakRssBytes();

// Bytes held by the heap, small blocks and mapped ones alike, over all arenas,
// and by the chunks of decoded objects.
size_t heapBytes();

// Anonymous memory resident in the process (RssAnon): what the kernel cannot
// drop or write back to a file.
long anonBytes();
