#include "decode/ovchain.h"

#include <algorithm>
#include <stdexcept>

TdecodeChain::TdecodeChain(Tcapture& into) : out(into), tree(newRoots) {}

void TdecodeChain::addObject(TobjPtr obj) {
  out.busUse->add(*obj);
  windowTimes.push_back(obj->time);
  window.push_back(std::move(obj));
}

void TdecodeChain::takeRaw(const uint8_t* stream, std::size_t available, bool final) {
  if (!failure().empty()) return;
  raw.useGrowingData(stream, available, final);
  // The position counts only where runs were read: a stream refused by its
  // header was not read at all.
  for (uint64_t at = 0; bin.getNextBinEvent(raw, fresh, at);) {
    position = at;
    if (published) published->store(at, std::memory_order_relaxed);
  }
  Tstore& store = *out.store;
  for (const TeventBin& ev : fresh) {
    TobjPtr obj = Tbin2obj::objectOf(ev);
    if (!store.appendEvent(ev, obj.get())) break;
    if (obj) addObject(std::move(obj));
  }
  fresh.clear();
  eventsTaken = store.eventCount();
  // A store that takes no more events ends the capture with the events it has.
  takeObjects(final || !failure().empty());
}

void TdecodeChain::takeEvents(bool final) {
  const Tstore& store = *out.store;
  for (; eventsTaken < store.eventCount(); ++eventsTaken) {
    // Events that cannot be converted are skipped, not an end.
    if (TobjPtr obj = Tbin2obj::objectOf(store.event(eventsTaken))) addObject(std::move(obj));
  }
  takeObjects(final);
}

int64_t TdecodeChain::busIndexOf(const Tbase& obj) {
  if (obj.objType > otHandshake) return -1;
  // Rows mostly take the packets in bus order: the one after the last is
  // tried first. Otherwise the packets' times find it, or for packets of equal
  // times (or a pcap file out of order) the object itself.
  std::size_t k = nextInWindow;
  if (k >= window.size() || window[k].get() != &obj) {
    k = static_cast<std::size_t>(std::lower_bound(windowTimes.begin(), windowTimes.end(), obj.time) -
                                 windowTimes.begin());
    while (k < window.size() && windowTimes[k] == obj.time && window[k].get() != &obj) ++k;
  }
  if (k == window.size() || window[k].get() != &obj) {
    k = 0;
    while (k < window.size() && window[k].get() != &obj) ++k;
    if (k == window.size()) throw std::logic_error("a row's packet is not among the capture's packets");
  }
  window[k] = nullptr;  // its row holds it from now on
  nextInWindow = k + 1;
  return static_cast<int64_t>(windowBase + k);
}

void TdecodeChain::flatten(const TobjVec& nodes, std::size_t from, int parentRow, std::size_t firstRow,
                           uint8_t inherited) {
  made.clear();
  madeBusIndex.clear();
  for (std::size_t n = from; n < nodes.size(); ++n)
    lines.flattenAt(nodes[n], parentRow, firstRow + made.size(), inherited, made);
  for (const TlinRow& row : made) madeBusIndex.push_back(busIndexOf(*row.obj));
}

bool TdecodeChain::keep(std::size_t at) {
  Tstore& store = *out.store;
  if (!store.insertRows(at, made, madeBusIndex)) return false;
  store.keep(at, made);
  return true;
}

void TdecodeChain::takeObjects(bool final) {
  if (!out.store->takesRows()) return;
  tree.take(window, final);
  Tstore& store = *out.store;
  changedRow = store.rowCount();
  // Children that open roots gained go after the rows the store has of them.
  for (const std::size_t k : tree.grownRoots()) {
    TopenRoot& grown = open.at(k);
    const TobjVec& children = static_cast<const Tgrouper&>(*grown.root).children;
    const std::size_t at = k + 1 < store.rootCount() ? store.rootRow(k + 1) : store.rowCount();
    flatten(children, grown.children, static_cast<int>(store.rootRow(k)), at,
            Ttree2lin::childFlags(*grown.root, 0));
    grown.children = children.size();
    if (!keep(at)) return;
    changedRow = std::min(changedRow, at);
  }
  const std::size_t firstNewRoot = store.rootCount();
  flatten(newRoots, 0, -1, store.rowCount(), 0);
  if (!keep(store.rowCount())) return;
  const std::vector<std::size_t> stillOpen = tree.openRoots();
  for (auto it = open.begin(); it != open.end();)
    it = std::binary_search(stillOpen.begin(), stillOpen.end(), it->first) ? std::next(it) : open.erase(it);
  for (const std::size_t k : stillOpen) {
    if (k < firstNewRoot) continue;
    const TobjPtr& root = newRoots[k - firstNewRoot];
    open[k] = TopenRoot{root, static_cast<const Tgrouper&>(*root).children.size()};
  }
  dropTaken(final);
}

void TdecodeChain::dropTaken(bool final) {
  if (final) {
    // Packets of a transaction the capture cut off have no row, but their level.
    for (std::size_t k = 0; k < window.size(); ++k)
      if (window[k]) out.store->setObjectLevel(windowBase + k, window[k]->level);
  }
  // The packets the tree has taken and the store has rows for leave the window.
  const std::size_t taken = tree.objectsTaken() - windowBase;
  std::size_t gone = 0;
  while (gone < taken && !window[gone]) ++gone;
  window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(gone));
  windowTimes.erase(windowTimes.begin(), windowTimes.begin() + static_cast<std::ptrdiff_t>(gone));
  windowBase += gone;
  nextInWindow = 0;
  tree.forget(out.store->rootCount(), windowBase);
}

std::size_t TdecodeChain::finalRows() const {
  const Tstore& store = *out.store;
  if (open.empty() || !failure().empty()) return store.rowCount();
  return store.rootRow(open.begin()->first);
}

const std::string& TdecodeChain::failure() const { return out.store->error(); }
