#include "decode/ovcapture.h"

#include <utility>

namespace {

uint8_t handshakePid(const Tgrouper& transaction) {
  uint8_t pid = 0;
  for (const TobjPtr& child : transaction.children) {
    if (!child || child->objType != otHandshake) continue;
    pid = static_cast<uint8_t>(static_cast<const TpacketBase&>(*child).pid);
    if (pid == pidNak) break;
  }
  return pid;
}

}  // namespace

TrowSummary Tcapture::rowSummary(std::size_t ix) const {
  const TlinRow& r = rows[ix];
  TrowSummary s;
  s.rowFlags = r.flags;
  if (!r.obj) return s;
  const Tbase& obj = *r.obj;
  s.objType = obj.objType;
  s.level = obj.level;
  s.parentRow = obj.parentRow;
  s.time = obj.time;
  s.errors = obj.flags;
  if (obj.objType >= otSof && obj.objType <= otHandshake)
    s.pid = static_cast<uint8_t>(static_cast<const TpacketBase&>(obj).pid);
  else if (obj.objType == otTransax)
    s.pid = handshakePid(static_cast<const Tgrouper&>(obj));
  return s;
}

void Tcapture::appendRoot(TobjPtr root) {
  rootRows.tree2lin(root, -1, rows, 0);
  roots.push_back(std::move(root));
}

void Tcapture::releaseBusRecord() {
  std::vector<TeventBin>().swap(events);
  TobjVec().swap(objects);
}

void Tcapture::clear() {
  events.clear();
  objects.clear();
  roots.clear();
  rows.clear();
  rootRows = Ttree2lin();
}

void Tcapture::swap(Tcapture& other) noexcept {
  events.swap(other.events);
  objects.swap(other.objects);
  roots.swap(other.roots);
  rows.swap(other.rows);
  std::swap(rootRows, other.rootRows);
}
