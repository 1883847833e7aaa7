#include "decode/ovtree2lin.h"

namespace {

constexpr uint8_t sofRowFlags = rowFlagSof | rowFlagPacket;

}  // namespace

Ttree2lin::Ttree2lin(const TobjVec& roots, std::vector<TlinRow>& rows) {
  rows.clear();
  for (const TobjPtr& root : roots) tree2lin(root, -1, rows, 0);
}

void Ttree2lin::tree2lin(const TobjPtr& node, int parentRow, std::vector<TlinRow>& rows, uint8_t inherited) {
  const int row = static_cast<int>(rows.size());
  node->row = row;
  node->parentRow = parentRow;

  int* counter = nullptr;
  uint8_t flags = inherited;
  uint8_t childFlags = inherited;
  switch (node->objType) {
    case otReset:
      counter = &resets;
      break;
    case otSof:
      counter = &packets;
      flags |= sofRowFlags;
      break;
    case otToken:
    case otData:
    case otHandshake:
      counter = &packets;
      flags |= rowFlagPacket;
      break;
    case otSofGroup:
      counter = &sofGroups;
      flags |= sofRowFlags;
      childFlags |= sofRowFlags;
      break;
    case otTransax:
      counter = &transaxes;
      break;
    case otTransfer:
      counter = &transfers;
      break;
    default:
      // A plain grouper, or anything unknown, has no row and hides its children.
      return;
  }
  rows.push_back(TlinRow{node, flags});
  node->ordinal = ++*counter;
  if (node->objType < otSofGroup) return;
  for (const TobjPtr& child : static_cast<const Tgrouper&>(*node).children) {
    tree2lin(child, row, rows, childFlags);
  }
}
