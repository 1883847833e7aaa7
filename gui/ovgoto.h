// Where "Go to" goes: a row number, a time since the capture's first row
// ("12.5 ms", "300 us") or a frame number ("frame 1234"); and the time
// between two rows, as the status bar tells it.
#pragma once

#include <cstdint>
#include <string>

#include "decode/ovcapture.h"

struct TgoTo {
  enum Tkind { invalid, row, time, frame } kind = invalid;
  uint64_t value = 0;  // row number counted from 1, ticks, or frame number
  std::string error;   // why the text names no place, for kind invalid
};

TgoTo parseGoTo(const std::string& typed);

// The row index it names in capture; the search for a time or frame starts after row
// `after` and wraps. -1 when the capture has no such row.
int64_t goToRow(const Tcapture& capture, const TgoTo& where, int64_t after);

// "Rows 5 to 9: 1.234567 ms" (rows counted from 1, the earlier first); empty when either is
// not a row of capture.
std::string timeBetweenText(const Tcapture& capture, int64_t a, int64_t b);
