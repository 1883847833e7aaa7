// Progress of a running capture on standard error: a bar redrawn in place on
// a terminal, a plain line every few seconds otherwise (logs, pipes).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class Tprogress {
 public:
  // Without bar, update draws nothing: rows printed as they come show the progress.
  explicit Tprogress(uint64_t total, bool bar = true);
  // Called often; draws only when something is due.
  void update(uint64_t bytes);
  // A message on a line of its own; the bar goes on below it.
  void note(const char* message);
  // The last count on a line of its own.
  void finish(uint64_t bytes);

  // "512 B", "1.5 KiB", "4.0 MiB".
  static std::string humanBytes(double bytes);

 private:
  std::string describe(uint64_t bytes) const;

  using Clock = std::chrono::steady_clock;
  uint64_t total;
  bool bar;
  bool terminal;
  Clock::time_point start;
  Clock::time_point lastDraw;
  bool drawn = false;
};
