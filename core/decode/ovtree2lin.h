// The tree flattened into display rows, parents before their children.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/ovbase.h"

class Ttree2lin {
 public:
  // Empties `rows` and appends one row per object of the tree, writing each
  // object's row, parentRow and ordinal.
  Ttree2lin(const TobjVec& roots, std::vector<TlinRow>& rows);
  Ttree2lin() = default;

  void tree2lin(const TobjPtr& node, int parentRow, std::vector<TlinRow>& rows, uint8_t inherited);
  // The rows of one subtree appended to `rows`, numbered as if `rows` began
  // at row firstRow: for rows that go into the middle of a capture kept
  // elsewhere, which numbers their objects itself.
  void flattenAt(const TobjPtr& node, int parentRow, std::size_t firstRow, uint8_t inherited,
                 std::vector<TlinRow>& rows);
  // The flags the children of a grouping row take from it.
  static uint8_t childFlags(const Tbase& node, uint8_t inherited);

 private:
  // Objects are numbered from 1 within each of these groups, in row order.
  struct Tcounters {
    int resets = 0;
    int packets = 0;
    int transaxes = 0;
    int transfers = 0;
    int sofGroups = 0;
  } counters;
  std::size_t rowBase = 0;  // the row number of rows[0]
};
