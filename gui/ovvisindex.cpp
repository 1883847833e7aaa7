#include "ovvisindex.h"

#include <algorithm>

#include "ovrowfacts.h"

namespace {

constexpr uint8_t clsSof = 0x01;          // SOF packet or SOF group
constexpr uint8_t clsPacket = 0x02;       // token, data or handshake
constexpr uint8_t clsNak = 0x04;          // NAKed transaction, or one of its packets
constexpr uint8_t clsError = 0x08;        // an error of its own or in a row below it
constexpr uint8_t clsOtherDevice = 0x10;  // not of the device filtered for

// A few thousand rows: a block is scanned in microseconds, and the counts of
// a capture's blocks are added up in well under a millisecond.
constexpr int blockShift = 12;
constexpr std::size_t blockRows = std::size_t{1} << blockShift;

bool shownBy(uint8_t cls, const TdisplFilters& f) {
  return !((cls & clsSof) && !f.showSOFs) && !((cls & clsNak) && !f.showNAKs) &&
         !((cls & clsPacket) && !f.showPackets) && !(cls & clsOtherDevice) &&
         !(f.rows.errorsOnly && !(cls & clsError));
}

}  // namespace

void TvisIndex::adopt(const Tcapture& capture) {
  classes.clear();
  shownClass = {};
  errorClass = {};
  classify(capture, 0);
  count(0);
}

void TvisIndex::grow(const Tcapture& capture, std::size_t firstChanged) {
  const std::size_t changed = classify(capture, std::min(firstChanged, classes.size()));
  count(changed >> blockShift);
}

std::size_t TvisIndex::classify(const Tcapture& capture, std::size_t first) {
  const std::size_t rows = capture.rowCount();
  std::size_t changed = first;
  classes.resize(rows);
  devices.resize(rows);
  TrowDevices rowDevices(capture);
  for (std::size_t ix = first; ix < rows; ix++) {
    const TrowSummary row = capture.rowSummary(ix);
    uint8_t cls = 0;
    if (row.objType == otSof || row.objType == otSofGroup) cls |= clsSof;
    if (row.objType >= otToken && row.objType <= otHandshake) cls |= clsPacket;
    if (row.objType == otTransax && row.pid == pidNak) cls |= clsNak;
    // A NAKed transaction's packets come after it, among its children.
    if (row.parentRow >= 0 && static_cast<std::size_t>(row.parentRow) < ix &&
        (classes[row.parentRow] & clsNak))
      cls |= clsNak;
    devices[ix] = rowDevices.of(ix);
    if (!deviceMatches(devices[ix], marked)) cls |= clsOtherDevice;
    if (hasOwnError(capture, ix, row)) {
      cls |= clsError;
      // Its parents have rows before it: a transfer that gains a bad transaction later counts anew.
      for (int64_t p = row.parentRow; p >= 0 && static_cast<std::size_t>(p) < ix && !(classes[p] & clsError);
           p = capture.parentRow(p)) {
        classes[p] |= clsError;
        changed = std::min(changed, static_cast<std::size_t>(p));
      }
    }
    classes[ix] = cls;
  }
  return changed;
}

void TvisIndex::markDevices() {
  marked = shown.rows;
  std::array<bool, deviceCodes> other{};
  for (uint16_t device = 0; device < deviceCodes; device++) other[device] = !deviceMatches(device, marked);
  for (std::size_t ix = 0; ix < classes.size(); ix++)
    classes[ix] =
        static_cast<uint8_t>((classes[ix] & ~clsOtherDevice) | (other[devices[ix]] ? clsOtherDevice : 0));
}

void TvisIndex::filter(const TdisplFilters& filters) {
  shown = filters;
  for (int cls = 0; cls < classCount; cls++) {
    shownClass[cls] = shownBy(static_cast<uint8_t>(cls), filters);
    errorClass[cls] = shownClass[cls] && (cls & clsError);
  }
  if (filters.rows.sameDevice(marked)) return sumStarts(0);
  markDevices();
  count(0);
}

void TvisIndex::count(std::size_t firstBlock) {
  const std::size_t blocks = (classes.size() + blockRows - 1) >> blockShift;
  blockCounts.resize(std::min(firstBlock, blocks));
  for (std::size_t block = blockCounts.size(); block < blocks; block++) {
    Tcounts counts{};
    for (std::size_t ix = block << blockShift; ix < blockEnd(block); ix++) counts[classes[ix]]++;
    blockCounts.push_back(counts);
  }
  sumStarts(firstBlock);
}

void TvisIndex::sumStarts(std::size_t firstBlock) {
  blockStarts.resize(std::min(firstBlock, blockCounts.size()) + 1);
  for (std::size_t block = blockStarts.size() - 1; block < blockCounts.size(); block++)
    blockStarts.push_back(blockStarts[block] + visibleIn(block, shownClass));
}

int TvisIndex::visibleIn(std::size_t block, const TclassSet& set) const {
  int n = 0;
  for (int cls = 0; cls < classCount; cls++)
    if (set[cls]) n += blockCounts[block][cls];
  return n;
}

std::size_t TvisIndex::blockEnd(std::size_t block) const {
  return std::min((block + 1) << blockShift, classes.size());
}

int TvisIndex::firstIn(std::size_t from, std::size_t to, const TclassSet& set) const {
  for (std::size_t ix = from; ix < to; ix++)
    if (set[classes[ix]]) return static_cast<int>(ix);
  return -1;
}

int TvisIndex::lastIn(std::size_t from, std::size_t to, const TclassSet& set) const {
  for (std::size_t ix = to; ix > from; ix--)
    if (set[classes[ix - 1]]) return static_cast<int>(ix - 1);
  return -1;
}

bool TvisIndex::isVisible(int ix) const {
  return ix >= 0 && static_cast<std::size_t>(ix) < classes.size() && shownClass[classes[ix]];
}

int TvisIndex::next(int ix) const {
  if (ix < 0 || static_cast<std::size_t>(ix) >= classes.size()) return -1;
  const std::size_t block = static_cast<std::size_t>(ix) >> blockShift;
  const int hit = firstIn(ix + 1, blockEnd(block), shownClass);
  if (hit >= 0) return hit;
  // The first later block with a visible row ends where the starts first rise past this block's end.
  const auto rise =
      std::upper_bound(blockStarts.begin() + block + 1, blockStarts.end(), blockStarts[block + 1]);
  if (rise == blockStarts.end()) return -1;
  const std::size_t found = rise - blockStarts.begin() - 1;
  return firstIn(found << blockShift, blockEnd(found), shownClass);
}

int TvisIndex::prev(int ix) const {
  if (ix < 0 || static_cast<std::size_t>(ix) >= classes.size()) return -1;
  const std::size_t block = static_cast<std::size_t>(ix) >> blockShift;
  const int hit = lastIn(block << blockShift, ix, shownClass);
  if (hit >= 0) return hit;
  // The blocks from the first start equal to this block's on have no visible row.
  const auto flat = std::lower_bound(blockStarts.begin(), blockStarts.begin() + block, blockStarts[block]);
  if (flat == blockStarts.begin()) return -1;
  const std::size_t found = flat - blockStarts.begin() - 1;
  return lastIn(found << blockShift, blockEnd(found), shownClass);
}

int TvisIndex::nearest(int ix) const {
  if (ix < 0 || static_cast<std::size_t>(ix) >= classes.size()) return -1;
  if (isVisible(ix)) return ix;
  int n = next(ix), p = prev(ix);
  if (p < 0) return n;
  if (n < 0) return p;
  return n - ix < ix - p ? n : p;
}

int TvisIndex::nextError(int ix, int direction) const {
  const auto rows = static_cast<int64_t>(classes.size());
  if (direction > 0) {
    for (int64_t from = std::max<int64_t>(ix + 1, 0); from < rows;) {
      const std::size_t block = static_cast<std::size_t>(from) >> blockShift;
      const int hit = visibleIn(block, errorClass) ? firstIn(from, blockEnd(block), errorClass) : -1;
      if (hit >= 0) return hit;
      from = static_cast<int64_t>(blockEnd(block));
    }
    return -1;
  }
  for (int64_t to = std::min<int64_t>(ix, rows); to > 0;) {
    const std::size_t block = static_cast<std::size_t>(to - 1) >> blockShift;
    const int hit = visibleIn(block, errorClass) ? lastIn(block << blockShift, to, errorClass) : -1;
    if (hit >= 0) return hit;
    to = static_cast<int64_t>(block << blockShift);
  }
  return -1;
}
