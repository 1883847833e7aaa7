#include "ovstatustext.h"

#include <cstdio>

namespace {

constexpr uint64_t noTime = ~uint64_t{0};  // a grouper's

std::string spanText(uint64_t ticks) {
  const double ms = static_cast<double>(ticks) / (ticksPerMicrosecond * 1000.0);
  char text[48];
  if (ms < 1000)
    std::snprintf(text, sizeof text, "Span %.3f ms", ms);
  else
    std::snprintf(text, sizeof text, "Span %.3f s", ms / 1000);
  return text;
}

}  // namespace

std::string groupedDigits(uint64_t n, char separator) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string capturingText(uint64_t bytes) { return "Capturing " + groupedDigits(bytes) + " bytes"; }

std::string capturedText(const std::string& cutShort) {
  return cutShort.empty() ? "Captured" : "Captured, cut short: " + cutShort;
}

TstatusTexts statusTexts(const Tcapture& capture, const std::string& source) {
  const std::size_t rows = capture.rowCount();
  TstatusTexts texts{groupedDigits(rows) + (rows == 1 ? " row" : " rows"), "", source, "", ""};
  // Groupers have no time: the nearest packet at each end has. Rows are in time order.
  std::size_t first = 0;
  while (first < rows && capture.rowSummary(first).time == noTime) ++first;
  if (first == rows) return texts;
  std::size_t last = rows - 1;
  while (capture.rowSummary(last).time == noTime) --last;
  texts.span = spanText(capture.rowSummary(last).time - capture.rowSummary(first).time);
  return texts;
}
