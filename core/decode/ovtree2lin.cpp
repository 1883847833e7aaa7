#include "decode/ovtree2lin.h"

#include <cstddef>

namespace {

constexpr uint8_t sofRowFlags = rowFlagSof | rowFlagPacket;

// Rows a subtree will take: the row vector of a large capture is then
// allocated once and exactly, instead of doubling its way up.
size_t rowCount(const Tbase& node) {
  if (node.objType > otTransfer) return 0;
  size_t n = 1;
  if (node.objType >= otSofGroup) {
    for (const TobjPtr& child : static_cast<const Tgrouper&>(node).children) n += rowCount(*child);
  }
  return n;
}

// The flags a grouper's children take from it.
uint8_t childFlagsOf(const Tbase& node, uint8_t inherited) {
  return node.objType == otSofGroup ? inherited | sofRowFlags : inherited;
}

}  // namespace

Ttree2lin::Ttree2lin(const TobjVec& roots, std::vector<TlinRow>& rows) {
  rows.clear();
  size_t total = 0;
  for (const TobjPtr& root : roots) total += rowCount(*root);
  rows.reserve(total);
  for (const TobjPtr& root : roots) tree2lin(root, -1, rows, 0);
}

void Ttree2lin::flattenAt(const TobjPtr& node, int parentRow, size_t firstRow, uint8_t inherited,
                          std::vector<TlinRow>& rows) {
  rowBase = firstRow - rows.size();
  tree2lin(node, parentRow, rows, inherited);
}

uint8_t Ttree2lin::childFlags(const Tbase& node, uint8_t inherited) { return childFlagsOf(node, inherited); }

void Ttree2lin::tree2lin(const TobjPtr& node, int parentRow, std::vector<TlinRow>& rows, uint8_t inherited) {
  const int row = static_cast<int>(rowBase + rows.size());
  node->row = row;
  node->parentRow = parentRow;

  int* counter = nullptr;
  uint8_t flags = inherited;
  switch (node->objType) {
    case otReset:
      counter = &counters.resets;
      break;
    case otSof:
      counter = &counters.packets;
      flags |= sofRowFlags;
      break;
    case otToken:
    case otData:
    case otHandshake:
      counter = &counters.packets;
      flags |= rowFlagPacket;
      break;
    case otSofGroup:
      counter = &counters.sofGroups;
      flags |= sofRowFlags;
      break;
    case otTransax:
      counter = &counters.transaxes;
      break;
    case otTransfer:
      counter = &counters.transfers;
      break;
    default:
      // A plain grouper, or anything unknown, has no row and hides its children.
      return;
  }
  rows.push_back(TlinRow{node, flags});
  node->ordinal = ++*counter;
  if (node->objType < otSofGroup) return;
  const uint8_t childFlags = childFlagsOf(*node, inherited);
  for (const TobjPtr& child : static_cast<const Tgrouper&>(*node).children)
    tree2lin(child, row, rows, childFlags);
}
