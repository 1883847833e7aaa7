// Which display rows the filters leave on screen. Each row gets a class byte
// and its device when rows are adopted or grow: the class says what the
// toolbar's toggles ask of it, whether it or a row below it has an error, and
// whether it belongs to another device than the one filtered for. Blocks of
// rows count their rows of each class, so a filter change only adds up counts
// per block, and stepping to the next visible row scans within one block; a
// new device filter passes once over the rows' devices. Rows that grow at
// their end are followed from the first changed row on, at a cost of the rows
// changed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/ovcapture.h"
#include "ovrowfilter.h"

struct TdisplFilters {
  bool showSOFs = false;
  bool showNAKs = false;
  bool showPackets = true;
  TrowFilter rows;
};

class TvisIndex {
 public:
  // Takes a capture's rows; nothing is visible until filter().
  void adopt(const Tcapture& capture);
  // The rows from firstChanged on are new or made again, those before it as they were.
  void grow(const Tcapture& capture, std::size_t firstChanged);
  void filter(const TdisplFilters& filters);

  // All take any ix; a row outside the adopted rows is never visible, and
  // -1 means no such row.
  bool isVisible(int ix) const;
  int next(int ix) const;
  int prev(int ix) const;
  // ix itself, else the closer of prev and next, the earlier on a tie.
  int nearest(int ix) const;
  int visibleCount() const { return blockStarts.empty() ? 0 : blockStarts.back(); }
  // The first visible row with an error after ix (direction > 0) or the last one before it;
  // ix may be -1 or the row count, to look from either end.
  int nextError(int ix, int direction) const;

 private:
  static constexpr int classCount = 32;
  using Tcounts = std::array<uint16_t, classCount>;
  using TclassSet = std::array<bool, classCount>;

  // Returns the first row whose class changed: a row before `first` gains its error mark
  // from a new row below it.
  std::size_t classify(const Tcapture& capture, std::size_t first);
  void markDevices();
  // The class counts of the blocks from firstBlock on, then their starts.
  void count(std::size_t firstBlock);
  void sumStarts(std::size_t firstBlock);
  int visibleIn(std::size_t block, const TclassSet& set) const;
  // The first (last) row of [from, to) whose class is in set, -1 for none.
  int firstIn(std::size_t from, std::size_t to, const TclassSet& set) const;
  int lastIn(std::size_t from, std::size_t to, const TclassSet& set) const;
  std::size_t blockEnd(std::size_t block) const;

  std::vector<uint8_t> classes;   // one byte per row
  std::vector<uint16_t> devices;  // one per row, as TrowDevices says
  std::vector<Tcounts> blockCounts;
  // The visible rows before each block, and after them all at the end.
  std::vector<int32_t> blockStarts;
  TdisplFilters shown;
  TclassSet shownClass{};
  TclassSet errorClass{};  // shown, with an error
  // The device whose other rows have their mark in classes.
  TrowFilter marked;
};
