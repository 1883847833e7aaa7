#include "decode/ovcapture.h"

#include <utility>

#include "decode/ovvisit.h"

namespace {

uint8_t handshakePid(const Ttransax& transaction) {
  uint8_t pid = 0;
  for (const TobjPtr& child : transaction.children) {
    if (!child) continue;
    visit(*child,
          Toverload{[&](const Thandshake& h) { pid = pid == pidNak ? pid : static_cast<uint8_t>(h.pid); },
                    [](const Tbase&) {}});
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
  visit(obj, Toverload{[&](const TpacketBase& packet) { s.pid = static_cast<uint8_t>(packet.pid); },
                       [&](const Ttransax& transaction) { s.pid = handshakePid(transaction); },
                       [](const Tbase&) {}});
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
