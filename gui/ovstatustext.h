// The texts of the main window's status bar: how many rows, where they come
// from, and the time they span.
#pragma once

#include <cstdint>
#include <string>

#include "decode/ovcapture.h"

struct TstatusTexts {
  std::string rows;     // "1,234 rows"
  std::string hidden;   // "1,234 hidden" and by what beyond the toolbar; empty when none is
  std::string source;   // "Capturing 1,234,567 bytes", "Captured" or the file's name
  std::string span;     // "Span 12.345 ms" from the first row's time to the last one's; empty without times
  std::string between;  // the time between the selected and the marked row; empty unless both are
};

// Decimal digits with separator between groups of three: 1234567 -> "1,234,567".
std::string groupedDigits(uint64_t n, char separator = ',');

std::string capturingText(uint64_t bytes);
// "Captured", or with why the capture ended early (cutShort as the capture thread says it).
std::string capturedText(const std::string& cutShort = "");

TstatusTexts statusTexts(const Tcapture& capture, const std::string& source);
