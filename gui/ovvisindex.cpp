#include "ovvisindex.h"

#include <algorithm>

namespace {

constexpr uint8_t clsSof = 0x01;     // SOF packet or SOF group
constexpr uint8_t clsPacket = 0x02;  // token, data or handshake
constexpr uint8_t clsNak = 0x04;     // NAKed transaction, or one of its packets

bool shownBy(uint8_t cls, const TdisplFilters& f) {
  return !((cls & clsSof) && !f.showSOFs) && !((cls & clsNak) && !f.showNAKs) &&
         !((cls & clsPacket) && !f.showPackets);
}

}  // namespace

void TvisIndex::adopt(const Tcapture& capture) {
  visible.clear();
  visible.shrink_to_fit();
  classify(capture, 0);
}

void TvisIndex::grow(const Tcapture& capture, std::size_t firstChanged) {
  const std::size_t first = std::min(firstChanged, classes.size());
  classify(capture, first);
  visible.erase(std::lower_bound(visible.begin(), visible.end(), static_cast<int32_t>(first)), visible.end());
  appendVisible(first);
}

void TvisIndex::classify(const Tcapture& capture, std::size_t first) {
  const std::size_t rows = capture.rowCount();
  classes.resize(first);
  classes.resize(rows, 0);
  for (std::size_t ix = first; ix < rows; ix++) {
    const TrowSummary row = capture.rowSummary(ix);
    if (row.objType == otSof || row.objType == otSofGroup) classes[ix] |= clsSof;
    if (row.objType >= otToken && row.objType <= otHandshake) classes[ix] |= clsPacket;
    if (row.objType == otTransax && row.pid == pidNak) classes[ix] |= clsNak;
    // A NAKed transaction's packets come after it, among its children.
    if (row.parentRow >= 0 && static_cast<std::size_t>(row.parentRow) < ix &&
        (classes[row.parentRow] & clsNak))
      classes[ix] |= clsNak;
  }
}

void TvisIndex::filter(const TdisplFilters& filters) {
  shown = filters;
  visible.clear();
  appendVisible(0);
}

void TvisIndex::appendVisible(std::size_t first) {
  bool shownClass[8];
  for (uint8_t cls = 0; cls < 8; cls++) shownClass[cls] = shownBy(cls, shown);
  for (std::size_t ix = first; ix < classes.size(); ix++)
    if (shownClass[classes[ix]]) visible.push_back(static_cast<int32_t>(ix));
}

bool TvisIndex::isVisible(int ix) const {
  return ix >= 0 && static_cast<std::size_t>(ix) < classes.size() && shownBy(classes[ix], shown);
}

int TvisIndex::next(int ix) const {
  if (ix < 0 || static_cast<std::size_t>(ix) >= classes.size()) return -1;
  auto it = std::upper_bound(visible.begin(), visible.end(), ix);
  return it == visible.end() ? -1 : *it;
}

int TvisIndex::prev(int ix) const {
  if (ix < 0 || static_cast<std::size_t>(ix) >= classes.size()) return -1;
  auto it = std::lower_bound(visible.begin(), visible.end(), ix);
  return it == visible.begin() ? -1 : *(it - 1);
}

int TvisIndex::nearest(int ix) const {
  if (ix < 0 || static_cast<std::size_t>(ix) >= classes.size()) return -1;
  if (isVisible(ix)) return ix;
  int n = next(ix), p = prev(ix);
  if (p < 0) return n;
  if (n < 0) return p;
  return n - ix < ix - p ? n : p;
}
