#include "decode/ovtree2lin.h"

#include <cstddef>

#include "decode/ovvisit.h"

namespace {

constexpr uint8_t sofRowFlags = rowFlagSof | rowFlagPacket;

// Rows a subtree will take: the row vector of a large capture is then
// allocated once and exactly, instead of doubling its way up.
size_t rowCount(const Tbase& node) {
  const auto withChildren = [](const Tgrouper& group) {
    size_t n = 1;
    for (const TobjPtr& child : group.children) n += rowCount(*child);
    return n;
  };
  return visit(node, Toverload{[](const Tbase&) -> size_t { return 1; },
                               [](const Tgrouper&) -> size_t { return 0; },  // a plain grouper has no row
                               [&](const TsofGroup& group) { return withChildren(group); },
                               [&](const Ttransax& group) { return withChildren(group); },
                               [&](const Ttransfer& group) { return withChildren(group); }});
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

  // Each class's ordinal group and row flags; a plain grouper has no row and hides its children.
  struct Tkind {
    int* counter;
    uint8_t flags;
  };
  const Tkind kind = visit(*node, Toverload{
      [this](const Treset&) { return Tkind{&counters.resets, 0}; },
      [this](const Tsof&) { return Tkind{&counters.packets, sofRowFlags}; },
      [this](const TpacketBase&) { return Tkind{&counters.packets, rowFlagPacket}; },
      [this](const TsofGroup&) { return Tkind{&counters.sofGroups, sofRowFlags}; },
      [this](const Ttransax&) { return Tkind{&counters.transaxes, 0}; },
      [this](const Ttransfer&) { return Tkind{&counters.transfers, 0}; },
      [](const Tgrouper&) { return Tkind{nullptr, 0}; }});
  if (!kind.counter) return;
  rows.push_back(TlinRow{node, static_cast<uint8_t>(inherited | kind.flags)});
  node->ordinal = ++*kind.counter;
  const uint8_t childFlags = childFlagsOf(*node, inherited);
  visit(*node, Toverload{[&](const Tgrouper& group) {
                           for (const TobjPtr& child : group.children) tree2lin(child, row, rows, childFlags);
                         },
                         [](const Tbase&) {}});
}
