#include "decode/ovcapture.h"

#include <utility>

#include "decode/ovbin2obj.h"

Tcapture::Tcapture() : store(std::make_unique<Tstore>()), busUse(std::make_unique<Ttimeline>()) {}

TrowSummary Tcapture::rowSummary(std::size_t ix) const {
  TrowSummary s;
  s.objType = store->rowType(ix);
  s.level = store->rowLevel(ix);
  s.parentRow = static_cast<int32_t>(store->parentRow(ix));
  s.time = store->rowTime(ix);
  s.errors = store->rowErrors(ix);
  s.rowFlags = store->rowFlags(ix);
  s.pid = store->rowPid(ix);
  if (s.objType != otTransax) return s;
  // The handshake among the transaction's packets, the rows right after it.
  const auto self = static_cast<int64_t>(ix);
  for (std::size_t c = ix + 1; c < store->rowCount() && store->parentRow(c) >= self; ++c) {
    if (store->parentRow(c) != self || store->rowType(c) != otHandshake) continue;
    s.pid = store->rowPid(c);
    if (s.pid == pidNak) break;
  }
  return s;
}

bool Tcapture::appendEvent(TeventBin&& event) {
  return store->appendEvent(event, Tbin2obj::objectOf(event).get());
}

bool Tcapture::appendRoot(const TobjPtr& root) {
  made.clear();
  const std::size_t first = store->rowCount();
  lines.flattenAt(root, -1, first, 0, made);
  noBusIndex.assign(made.size(), -1);
  if (!store->insertRows(first, made, noBusIndex)) return false;
  store->keep(first, made);
  addToTimeline();
  return true;
}

bool Tcapture::placeRow(const TobjPtr& obj, std::size_t at, int parentRow, uint8_t inherited) {
  made.clear();
  lines.flattenAt(obj, parentRow, at, inherited, made);
  noBusIndex.assign(made.size(), -1);
  if (!store->insertRows(at, made, noBusIndex)) return false;
  addToTimeline();
  return true;
}

void Tcapture::addToTimeline() {
  for (const TlinRow& row : made) busUse->add(*row.obj);
}

void Tcapture::clear() {
  store = std::make_unique<Tstore>();
  busUse = std::make_unique<Ttimeline>();
  busRecordKept = true;
}

void Tcapture::swap(Tcapture& other) noexcept {
  std::swap(store, other.store);
  std::swap(busUse, other.busUse);
  std::swap(busRecordKept, other.busRecordKept);
}
