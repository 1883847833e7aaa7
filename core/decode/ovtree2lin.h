// The tree flattened into display rows, parents before their children.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/ovbase.h"

class Ttree2lin {
 public:
  // Empties `rows` and appends one row per object of the tree, writing each
  // object's row, parentRow and ordinal.
  Ttree2lin(const TobjVec& roots, std::vector<TlinRow>& rows);

  void tree2lin(const TobjPtr& node, int parentRow, std::vector<TlinRow>& rows, uint8_t inherited);

 private:
  // Objects are numbered from 1 within each of these groups, in row order.
  int resets = 0;
  int packets = 0;
  int transaxes = 0;
  int transfers = 0;
  int sofGroups = 0;
};
