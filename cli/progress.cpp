#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace {

constexpr int barWidth = 30;
constexpr auto terminalPeriod = std::chrono::milliseconds(200);
constexpr auto plainPeriod = std::chrono::seconds(2);

}  // namespace

Tprogress::Tprogress(uint64_t total, bool bar)
    : total(total), bar(bar), terminal(isatty(STDERR_FILENO) == 1), start(Clock::now()), lastDraw(start) {}

std::string Tprogress::humanBytes(double bytes) {
  static const char* const units[] = {"B", "KiB", "MiB", "GiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 3) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

std::string Tprogress::describe(uint64_t bytes) const {
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const int percent = total ? static_cast<int>(bytes * 100 / total) : 100;
  char text[128];
  std::snprintf(text, sizeof text, "%s of %s (%d%%), %s/s", humanBytes(double(bytes)).c_str(),
                humanBytes(double(total)).c_str(), percent,
                humanBytes(seconds > 0 ? double(bytes) / seconds : 0).c_str());
  return text;
}

void Tprogress::update(uint64_t bytes) {
  const Clock::time_point now = Clock::now();
  if (!bar || now - lastDraw < (terminal ? terminalPeriod : plainPeriod)) return;
  lastDraw = now;
  if (terminal) {
    const int filled = total ? static_cast<int>(bytes * barWidth / total) : barWidth;
    // \033[K clears what a longer earlier line left behind.
    std::fprintf(stderr, "\r[%s%s] %s\033[K", std::string(filled, '#').c_str(),
                 std::string(barWidth - filled, '.').c_str(), describe(bytes).c_str());
  } else {
    std::fprintf(stderr, "twr: captured %s\n", describe(bytes).c_str());
  }
  std::fflush(stderr);
  drawn = true;
}

void Tprogress::note(const char* message) {
  if (terminal && drawn) std::fprintf(stderr, "\r\033[K");
  std::fprintf(stderr, "twr: %s\n", message);
  drawn = false;
}

void Tprogress::finish(uint64_t bytes) {
  if (terminal && drawn) std::fprintf(stderr, "\r\033[K");
  std::fprintf(stderr, "twr: captured %s\n", describe(bytes).c_str());
}
