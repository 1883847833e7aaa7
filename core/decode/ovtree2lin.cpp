#include "decode/ovtree2lin.h"

#include <algorithm>
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
  flattenFrom(roots, 0, rows);
}

size_t Ttree2lin::update(const TobjVec& roots, size_t firstChanged, std::vector<TlinRow>& rows) {
  if (flattened == 0 && rows.empty()) {
    // A whole capture in one go gets its rows sized exactly, as the constructor does.
    size_t total = 0;
    for (const TobjPtr& root : roots) total += rowCount(*root);
    rows.reserve(total);
  }
  if (firstChanged >= flattened) {
    const size_t firstRow = rowBase + rows.size();
    flattenFrom(roots, flattened, rows);
    return firstRow;
  }
  const Tbase& changed = *roots[firstChanged - rootBase];
  if (firstChanged + 1 == flattened) {
    // The last root gained children: their rows follow its rows.
    const size_t firstRow = rowBase + rows.size();
    const auto& children = static_cast<const Tgrouper&>(changed).children;
    const uint8_t flags = childFlagsOf(changed, 0);
    for (size_t c = lastRootChildren; c < children.size(); ++c)
      tree2lin(children[c], changed.row, rows, flags);
    lastRootChildren = children.size();
    flattenFrom(roots, flattened, rows);
    return firstRow;
  }
  // A transfer further back gained children: the rows from it on are made again.
  const auto checkpoint = std::lower_bound(
      beforeTransfer.begin(), beforeTransfer.end(), firstChanged,
      [](const std::pair<size_t, Tcounters>& entry, size_t root) { return entry.first < root; });
  const bool known = checkpoint != beforeTransfer.end() && checkpoint->first == firstChanged;
  const size_t from = known ? firstChanged : rootBase;
  counters = known ? checkpoint->second : Tcounters{};
  beforeTransfer.erase(known ? checkpoint : beforeTransfer.begin(), beforeTransfer.end());
  const size_t firstRow = known ? static_cast<size_t>(changed.row) : rowBase;
  rows.resize(firstRow - rowBase);
  flattenFrom(roots, from, rows);
  return firstRow;
}

void Ttree2lin::forget(size_t rootsBefore, size_t rowsBefore) {
  rootBase = rootsBefore;
  rowBase = rowsBefore;
  const auto kept = std::lower_bound(
      beforeTransfer.begin(), beforeTransfer.end(), rootsBefore,
      [](const std::pair<size_t, Tcounters>& entry, size_t root) { return entry.first < root; });
  beforeTransfer.erase(beforeTransfer.begin(), kept);
}

void Ttree2lin::flattenFrom(const TobjVec& roots, size_t first, std::vector<TlinRow>& rows) {
  for (size_t r = first; r < rootBase + roots.size(); ++r) {
    const TobjPtr& root = roots[r - rootBase];
    if (root->objType == otTransfer) beforeTransfer.emplace_back(r, counters);
    tree2lin(root, -1, rows, 0);
  }
  flattened = rootBase + roots.size();
  lastRootChildren =
      !roots.empty() && roots.back()->objType >= otSofGroup && roots.back()->objType <= otTransfer
          ? static_cast<const Tgrouper&>(*roots.back()).children.size()
          : 0;
}

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
