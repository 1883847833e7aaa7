#include "ovtimelineview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double zoomStep = 0.8;                           // of the span, per wheel notch
constexpr double bitsPerFrame = Ttimeline::ticksPerFrame;  // a tick is a bit time
// A grouping row's time is its first packet's, a few rows on at most.
constexpr std::size_t rowsToAPacket = 64;

}  // namespace

void TtimelineView::setFrames(uint64_t frames) {
  total = frames;
  if (whole) showAll();
  clamp();
}

void TtimelineView::showAll() {
  whole = true;
  first = 0;
  span = std::max<double>(static_cast<double>(total), fewestFrames);
}

double TtimelineView::xOfTick(uint64_t tick) const {
  return (static_cast<double>(tick) / Ttimeline::ticksPerFrame - first) * width / span;
}

void TtimelineView::columnFrames(int x, uint64_t& from, uint64_t& to) const {
  from = static_cast<uint64_t>(std::max(0.0, std::floor(frameAt(x))));
  to = std::max(from + 1, static_cast<uint64_t>(std::max(0.0, std::floor(frameAt(x + 1)))));
}

void TtimelineView::zoom(double x, int notches) {
  const double under = frameAt(x);
  span = std::clamp(span * std::pow(zoomStep, notches), fewestFrames,
                    std::max<double>(static_cast<double>(total), fewestFrames));
  first = under - x * span / width;
  whole = false;
  clamp();
}

void TtimelineView::pan(double parts) {
  first += parts * span;
  whole = false;
  clamp();
}

void TtimelineView::bringIntoView(uint64_t from, uint64_t to) {
  if (whole) return;
  const double a = static_cast<double>(from) / Ttimeline::ticksPerFrame;
  const double b = static_cast<double>(to) / Ttimeline::ticksPerFrame;
  if (a >= first && b <= first + span) return;
  first = (a + b) / 2 - span / 2;
  clamp();
}

void TtimelineView::clamp() {
  const double end = std::max<double>(static_cast<double>(total), fewestFrames);
  span = std::min(span, end);
  first = std::clamp(first, 0.0, end - span);
  if (first == 0 && span >= end) whole = true;
}

std::string timelineHoverText(double atMs, const TtimelineSpan& sum, uint64_t from, uint64_t to) {
  const double frames = static_cast<double>(to > from ? to - from : 1);
  const double use = 100.0 * static_cast<double>(sum.bits()) / (frames * bitsPerFrame);
  char text[160];
  std::snprintf(text, sizeof text, "%.3f ms: %.1f%% of 12 Mbit/s, %u error%s", atMs, use, sum.errors,
                sum.errors == 1 ? "" : "s");
  std::string out = text;
  if (sum.marks & timelineReset) out += ", reset";
  if (sum.marks & timelineSuspend) out += ", suspend";
  return out;
}

bool rowTick(const Tcapture& capture, std::size_t row, uint64_t& tick) {
  const std::size_t end = std::min(capture.rowCount(), row + rowsToAPacket);
  for (std::size_t r = row; r < end; ++r) {
    if (capture.rowType(r) > otHandshake) continue;
    tick = capture.rowSummary(r).time;
    return true;
  }
  return false;
}

int64_t rowAtTick(const Tcapture& capture, uint64_t tick) {
  const std::size_t rows = capture.rowCount();
  if (rows == 0) return -1;
  // Rows without a packet near count as early.
  std::size_t lo = 0, hi = rows;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    uint64_t t = 0;
    if (!rowTick(capture, mid, t) || t < tick)
      lo = mid + 1;
    else
      hi = mid;
  }
  return static_cast<int64_t>(std::min(lo, rows - 1));
}
