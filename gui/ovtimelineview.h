// What the timeline strip shows, without a display: a stretch of frames laid
// across a width of pixels, zoomed and moved by the user; what each pixel
// column sums, and the row a time leads the tree to.
#pragma once

#include <cstdint>
#include <string>

#include "decode/ovcapture.h"
#include "decode/ovtimeline.h"

class TtimelineView {
 public:
  // Fewest frames a view spans: the wheel zooms in down to single frames.
  static constexpr double fewestFrames = 4;

  void setWidth(int pixels) { width = pixels > 0 ? pixels : 1; }
  int pixels() const { return width; }
  // The capture has `frames` frames now: a view of the whole follows it as it grows,
  // a zoomed one stays where it is.
  void setFrames(uint64_t frames);
  // Back to the whole capture.
  void showAll();

  double firstFrame() const { return first; }
  double frameSpan() const { return span; }
  bool showsAll() const { return whole; }
  // The frame under pixel column x, in fractions; and the column of a time.
  double frameAt(double x) const { return first + x * span / width; }
  double xOfTick(uint64_t tick) const;
  // Frames [from, to) of column x: at least one frame.
  void columnFrames(int x, uint64_t& from, uint64_t& to) const;

  // Wheel notches (positive: in) around column x; keeps the frame under x where it is.
  void zoom(double x, int notches);
  // Moves by a part of the span (negative: back), not past either end.
  void pan(double parts);
  // Moves so that ticks [from, to) are in view, when they are not, keeping the zoom.
  void bringIntoView(uint64_t from, uint64_t to);

 private:
  void clamp();

  int width = 1;
  uint64_t total = 0;
  double first = 0;
  double span = fewestFrames;
  bool whole = true;
};

// "12.345 ms: 23.4% of 12 Mbit/s, 2 errors": the time under the pointer, and the use and
// errors of the frames [from, to) under it, which hold `sum`.
std::string timelineHoverText(double atMs, const TtimelineSpan& sum, uint64_t from, uint64_t to);

// The first row at or after tick, by halving: rows are in time order but for a transfer's,
// which comes before the later stages it gains. The last row when none is; -1 in an empty
// capture.
int64_t rowAtTick(const Tcapture& capture, uint64_t tick);
// The time of a row, or of the first packet after it for a grouping row; false when
// none is near.
bool rowTick(const Tcapture& capture, std::size_t row, uint64_t& tick);
