// The text of the data pane: a byte count, then a hex and character dump,
// eight bytes to a line. Shown in two fonts, so it comes in two runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TdumpText {
  std::string count;  // " N bytes" or " No Data", proportional face
  std::string dump;   // column header and lines, fixed-width face; empty without data
};

TdumpText buildDump(const std::vector<uint8_t>& bytes);

// Where the two hex digits of byte ix start in a dump that holds it.
std::size_t dumpHexOffset(const std::string& dump, std::size_t ix);
