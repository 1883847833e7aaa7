// Which display rows the three toolbar filters leave on screen. A class byte
// per row is computed once when rows are adopted; each filter change builds a
// sorted list of the visible rows, so stepping and snapping are binary
// searches however long the hidden stretches are. Rows that grow at their end
// are followed from the first changed row on, at a cost of the rows changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/ovcapture.h"

struct TdisplFilters {
  bool showSOFs = false;
  bool showNAKs = false;
  bool showPackets = true;
};

class TvisIndex {
 public:
  // Computes the class bytes of rows; the list stays empty until filter().
  void adopt(const Tcapture& capture);
  // The rows from firstChanged on are new or made again, those before it as they were:
  // their classes and, for the last filters, their visibility.
  void grow(const Tcapture& capture, std::size_t firstChanged);
  // Builds the visible list for these filters.
  void filter(const TdisplFilters& filters);

  // All take any ix; a row outside the adopted rows is never visible, and
  // -1 means no such row.
  bool isVisible(int ix) const;
  int next(int ix) const;
  int prev(int ix) const;
  // ix itself, else the closer of prev and next, the earlier on a tie.
  int nearest(int ix) const;
  int visibleCount() const { return static_cast<int>(visible.size()); }

 private:
  void classify(const Tcapture& capture, std::size_t first);
  void appendVisible(std::size_t first);

  std::vector<uint8_t> classes;  // one byte per row
  std::vector<int32_t> visible;  // ascending row indices
  TdisplFilters shown;
};
