// The tree flattened into display rows, parents before their children.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "decode/ovbase.h"

class Ttree2lin {
 public:
  // Empties `rows` and appends one row per object of the tree, writing each
  // object's row, parentRow and ordinal.
  Ttree2lin(const TobjVec& roots, std::vector<TlinRow>& rows);
  // Keeps rows in step with a tree that grows, through update().
  Ttree2lin() = default;

  // Brings `rows` up to date with `roots`, of which those before firstChanged
  // are as they were at the last call, children included; the others are new
  // or have gained children. Returns the first row that changed: the rows
  // before it are as they were.
  std::size_t update(const TobjVec& roots, std::size_t firstChanged, std::vector<TlinRow>& rows);
  // For a capture kept elsewhere as it becomes final: from now on the roots
  // vector starts with root rootsBefore and the rows vector with row
  // rowsBefore, the first row of that root. Indices, rows included, keep
  // counting from the start of the capture.
  void forget(std::size_t rootsBefore, std::size_t rowsBefore);

  void tree2lin(const TobjPtr& node, int parentRow, std::vector<TlinRow>& rows, uint8_t inherited);

 private:
  // Objects are numbered from 1 within each of these groups, in row order.
  struct Tcounters {
    int resets = 0;
    int packets = 0;
    int transaxes = 0;
    int transfers = 0;
    int sofGroups = 0;
  } counters;

  void flattenFrom(const TobjVec& roots, std::size_t first, std::vector<TlinRow>& rows);

  std::size_t rootBase = 0;  // the first root and row the vectors hold
  std::size_t rowBase = 0;
  std::size_t flattened = 0;         // roots with rows
  std::size_t lastRootChildren = 0;  // children of the last of them that have rows
  // The counters before each control transfer's row: a transfer far back may
  // still gain children, and the rows from it on are then made again.
  std::vector<std::pair<std::size_t, Tcounters>> beforeTransfer;
};
