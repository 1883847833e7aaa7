#include "ovgoto.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

std::string lowerTrimmed(const std::string& text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t first = out.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return out.substr(first, out.find_last_not_of(" \t") - first + 1);
}

// Digits only, a value that fits, at least one digit.
bool wholeNumber(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

TgoTo failed(std::string why) { return {TgoTo::invalid, 0, std::move(why)}; }

std::string milliseconds(uint64_t ticks) {
  const uint64_t ns = ticks * 1000 / ticksPerMicrosecond;
  std::string fraction = std::to_string(ns % 1000000);
  return std::to_string(ns / 1000000) + "." + std::string(6 - fraction.size(), '0') + fraction + " ms";
}

constexpr uint64_t noTime = ~uint64_t{0};

// A row's time: a grouping row has none of its own and takes its first packet's.
uint64_t timeFrom(const Tcapture& capture, std::size_t ix) {
  for (; ix < capture.rowCount(); ix++) {
    const uint64_t time = capture.rowSummary(ix).time;
    if (time != noTime) return time;
  }
  return noTime;
}

}  // namespace

TgoTo parseGoTo(const std::string& typed) {
  const std::string text = lowerTrimmed(typed);
  if (text.empty()) return failed("Type a row number, a time such as \"12.5 ms\" or \"frame 1234\".");
  uint64_t number = 0;
  if (text.rfind("frame", 0) == 0) {
    const std::string rest = lowerTrimmed(text.substr(5));
    if (!wholeNumber(rest, number)) return failed("\"" + typed + "\" names no frame number.");
    return {TgoTo::frame, number, ""};
  }
  if (wholeNumber(text, number)) {
    if (number == 0) return failed("Rows are counted from 1.");
    return {TgoTo::row, number, ""};
  }
  static const std::pair<const char*, double> units[] = {
      {"ms", 1000.0}, {"us", 1.0}, {"µs", 1.0}, {"s", 1e6}};
  for (const auto& [unit, microseconds] : units) {
    const std::string suffix = unit;
    if (text.size() <= suffix.size() || text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string amount = lowerTrimmed(text.substr(0, text.size() - suffix.size()));
    if (amount.empty() || amount.find_first_not_of("0123456789.") != std::string::npos) break;
    char* end = nullptr;
    const double value = std::strtod(amount.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value)) break;
    const double ticks = value * microseconds * ticksPerMicrosecond;
    if (ticks > 1e18) return failed("\"" + typed + "\" is later than any capture.");
    return {TgoTo::time, static_cast<uint64_t>(std::llround(ticks)), ""};
  }
  return failed("\"" + typed + "\" is no row number, time (ms, us) or \"frame N\".");
}

int64_t goToRow(const Tcapture& capture, const TgoTo& where, int64_t after) {
  const int64_t rows = static_cast<int64_t>(capture.rowCount());
  if (rows == 0) return -1;
  switch (where.kind) {
    case TgoTo::row:
      return where.value <= static_cast<uint64_t>(rows) ? static_cast<int64_t>(where.value) - 1 : -1;
    case TgoTo::time: {
      // Rows are nearly in time order: a transfer's row comes before the later stages it gains.
      const uint64_t start = timeFrom(capture, 0);
      if (start == noTime) return -1;
      for (int64_t ix = 0; ix < rows; ix++) {
        const uint64_t time = capture.rowSummary(static_cast<std::size_t>(ix)).time;
        if (time != noTime && time >= start && time - start >= where.value) return ix;
      }
      return -1;
    }
    case TgoTo::frame:
      for (int64_t n = 1; n <= rows; n++) {
        const auto ix = static_cast<std::size_t>((std::max<int64_t>(after, -1) + n) % rows);
        if (capture.rowSummary(ix).objType != otSof) continue;
        const TobjPtr obj = capture.row(ix).obj;
        if (obj && static_cast<const Tsof&>(*obj).frame == where.value) return static_cast<int64_t>(ix);
      }
      return -1;
    case TgoTo::invalid:
      break;
  }
  return -1;
}

std::string timeBetweenText(const Tcapture& capture, int64_t a, int64_t b) {
  const int64_t rows = static_cast<int64_t>(capture.rowCount());
  if (a < 0 || b < 0 || a >= rows || b >= rows) return "";
  if (a > b) std::swap(a, b);
  const uint64_t ta = timeFrom(capture, static_cast<std::size_t>(a));
  const uint64_t tb = timeFrom(capture, static_cast<std::size_t>(b));
  if (ta == noTime || tb == noTime) return "";
  const std::string span = tb >= ta ? milliseconds(tb - ta) : "-" + milliseconds(ta - tb);
  return "Rows " + std::to_string(a + 1) + " to " + std::to_string(b + 1) + ": " + span;
}
