#include "decode/ovstore.h"

#include <algorithm>
#include <limits>

#include "decode/ovarena.h"
#include "decode/ovbin2obj.h"
#include "decode/ovgroup.h"
#include "decode/ovvisit.h"

namespace {

// Each file reserves this much address space (not memory): a store has
// several, and a capture of 4 GiB makes about 110 M events.
constexpr uint64_t recordCapacity = uint64_t{1} << 31;
constexpr uint64_t byteCapacity = uint64_t{16} << 30;

// The ordinal group of a row's type, as the row builder counts them.
int ordinalGroup(uint32_t type) {
  switch (type) {
    case otReset:
      return 0;
    case otSof:
    case otToken:
    case otData:
    case otHandshake:
      return 1;
    case otTransax:
      return 2;
    case otTransfer:
      return 3;
    case otSofGroup:
      return 4;
    default:
      return -1;
  }
}

bool isLeaf(uint32_t type) { return type <= otHandshake; }

TobjPtr newGrouper(uint32_t type) {
  switch (type) {
    case otSofGroup:
      return arena::make<TsofGroup>();
    case otTransax:
      return arena::make<Ttransax>();
    default:
      return arena::make<Ttransfer>();
  }
}

}  // namespace

Tstore::Tstore(const std::string& dir)
    : events(recordCapacity, dir),
      eventRuns(recordCapacity / eventsPerCheckpoint, dir),
      bytes(byteCapacity, dir),
      skippedEvents(recordCapacity, dir),
      rows(recordCapacity, dir),
      ordinals(recordCapacity / rowsPerCheckpoint, dir),
      farParents(recordCapacity, dir),
      rootRows(recordCapacity, dir),
      loadedLeaves(recordCapacity, dir),
      loadedData(byteCapacity, dir) {}

bool Tstore::ok(bool appended, const std::string& why, bool& stopped) {
  if (appended) return true;
  if (failure.empty()) failure = why;
  stopped = true;
  return false;
}

bool Tstore::startRun(const TeventBin& ev) {
  const uint64_t start = bytes.size();
  const uint64_t size = ev.bytes.size();
  if (!eventRuns.empty()) {
    const TeventCheckpoint& run = eventRuns.back();
    const bool fits = events.size() - run.firstEvent < eventsPerCheckpoint && run.longSize == 0 &&
                      ev.time >= run.time && ev.time - run.time <= std::numeric_limits<uint32_t>::max() &&
                      start + size - run.offset < longEvent;
    if (fits) return true;
  }
  const TeventCheckpoint run{events.size(), ev.time, start, size >= longEvent ? size : 0};
  return ok(eventRuns.push_back(run), eventRuns.error(), eventsStopped);
}

bool Tstore::appendEvent(const TeventBin& ev, const Tbase* obj) {
  if (eventsStopped || !startRun(ev)) return false;
  if (!ok(bytes.append(ev.bytes.data(), ev.bytes.size()), bytes.error(), eventsStopped)) return false;
  const TeventCheckpoint& run = eventRuns.back();
  TeventRecord record;
  record.time = static_cast<uint32_t>(ev.time - run.time);
  record.end = run.longSize != 0 ? longEvent : static_cast<uint16_t>(bytes.size() - run.offset);
  record.kind = ev.kind & eventKindBits;
  record.flags = static_cast<uint8_t>((ev.flags >> errorFlagShift & eventErrorBits) |
                                      (obj ? obj->flags >> errorFlagShift << objectErrorShift : 0));
  // Counted as skipped before it is counted at all: a reader on another
  // thread may see one object too few, never one too many.
  if (!obj && !ok(skippedEvents.push_back(events.size()), skippedEvents.error(), eventsStopped)) return false;
  return ok(events.push_back(record), events.error(), eventsStopped);
}

const TeventCheckpoint& Tstore::checkpointOf(std::size_t eventIx) const {
  const TeventCheckpoint* first = eventRuns.data();
  const TeventCheckpoint* last = first + eventRuns.size();
  const auto* after = std::upper_bound(
      first, last, eventIx, [](std::size_t ix, const TeventCheckpoint& run) { return ix < run.firstEvent; });
  return after[-1];
}

uint64_t Tstore::eventStart(std::size_t ix, const TeventCheckpoint& run) const {
  return ix == run.firstEvent ? run.offset : run.offset + events[ix - 1].end;
}

TeventView Tstore::eventView(std::size_t ix) const {
  const TeventCheckpoint& run = checkpointOf(ix);
  const TeventRecord& record = events[ix];
  const uint64_t start = eventStart(ix, run);
  const uint64_t end = record.end == longEvent ? run.offset + run.longSize : run.offset + record.end;
  TeventView ev;
  ev.kind = record.kind & eventKindBits;
  ev.flags = static_cast<uint16_t>((record.flags & eventErrorBits) << errorFlagShift);
  ev.time = run.time + record.time;
  ev.bytes = bytes.data() + start;
  ev.size = end - start;
  return ev;
}

TeventBin Tstore::event(std::size_t ix) const {
  const TeventView view = eventView(ix);
  TeventBin ev;
  ev.kind = view.kind;
  ev.flags = view.flags;
  ev.time = view.time;
  ev.bytes.assign(view.bytes, view.bytes + view.size);
  return ev;
}

std::size_t Tstore::objectCount() const {
  const std::size_t skipped = skippedEvents.size();
  return events.size() - skipped;
}

std::size_t Tstore::eventOfObject(std::size_t objectIx) const {
  // The j-th skipped event s has s - j objects before it, which never
  // decreases with j: the skipped events before the object are those where
  // that count is at most objectIx.
  const uint64_t* first = skippedEvents.data();
  const std::size_t count = skippedEvents.size();
  std::size_t lo = 0;
  std::size_t hi = count;
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (first[mid] - mid <= objectIx)
      lo = mid + 1;
    else
      hi = mid;
  }
  return objectIx + lo;
}

TobjPtr Tstore::object(std::size_t ix) const {
  const std::size_t e = eventOfObject(ix);
  TobjPtr obj = Tbin2obj::objectOf(eventView(e));
  obj->level = events[e].kind >> eventLevelShift;
  return obj;
}

void Tstore::setObjectLevel(uint64_t objectIndex, int level) {
  uint8_t& kind = events[eventOfObject(objectIndex)].kind;
  kind = static_cast<uint8_t>((kind & eventKindBits) | level << eventLevelShift);
}

bool Tstore::makeRecord(const TlinRow& row, int64_t busIndex, uint64_t at, TrowRecord& record,
                        std::vector<TfarParent>& far) {
  const Tbase& obj = *row.obj;
  bool loaded = false;
  if (busIndex >= 0) {
    setObjectLevel(static_cast<uint64_t>(busIndex), obj.level);
    record.ref = static_cast<uint32_t>(busIndex);
  } else if (isLeaf(obj.objType)) {
    loaded = true;
    if (!storeLoadedLeaf(obj, record.ref)) return false;
  } else {
    record.ref = obj.valid ? 0 : rowshape::invalidRef;
    visit(obj, Toverload{[&](const Ttransax& t) { record.ref |= static_cast<uint32_t>(t.trxType); },
                         [](const Tbase&) {}});
  }
  uint64_t up = obj.parentRow < 0 ? 0 : at - static_cast<uint64_t>(obj.parentRow);
  if (up >= rowshape::farParent) {
    far.push_back(TfarParent{at, static_cast<uint64_t>(obj.parentRow)});
    up = rowshape::farParent;
  }
  record.shape = row.flags | obj.objType << rowshape::typeShift | (loaded ? rowshape::loadedBit : 0) |
                 static_cast<uint32_t>(obj.level) << rowshape::levelShift |
                 static_cast<uint32_t>(up) << rowshape::upShift;
  return true;
}

bool Tstore::pushRow(const TlinRow& row, int64_t busIndex) {
  if (rowsStopped) return false;
  const uint64_t n = rows.size();
  TrowRecord record;
  std::vector<TfarParent> far;
  if (!makeRecord(row, busIndex, n, record, far)) return false;
  if (n % rowsPerCheckpoint == 0 && !ok(ordinals.push_back(counted), ordinals.error(), rowsStopped))
    return false;
  if (!far.empty() && !ok(farParents.push_back(far[0]), farParents.error(), rowsStopped)) return false;
  if (row.obj->parentRow < 0 &&
      !ok(rootRows.push_back(static_cast<uint32_t>(n)), rootRows.error(), rowsStopped))
    return false;
  if (!ok(rows.push_back(record), rows.error(), rowsStopped)) return false;
  const int group = ordinalGroup(row.obj->objType);
  if (group >= 0) ++counted[static_cast<std::size_t>(group)];
  return true;
}

bool Tstore::appendRow(const TlinRow& row, uint64_t objectIndex) {
  return pushRow(row, static_cast<int64_t>(objectIndex));
}

bool Tstore::appendRow(const TlinRow& row) { return pushRow(row, -1); }

bool Tstore::insertRows(std::size_t at, const std::vector<TlinRow>& added,
                        const std::vector<int64_t>& busIndex) {
  const std::size_t n = rows.size();
  if (at == n) {
    for (std::size_t i = 0; i < added.size(); ++i)
      if (!pushRow(added[i], busIndex[i])) return false;
    return true;
  }
  if (rowsStopped) return false;
  const std::size_t m = added.size();
  std::vector<TrowRecord> made(m);
  std::vector<TfarParent> far;
  for (std::size_t i = 0; i < m; ++i)
    if (!makeRecord(added[i], busIndex[i], at + i, made[i], far)) return false;
  // Room at the end first: nothing moves unless all of it is there.
  for (std::size_t i = 0; i < m; ++i)
    if (!ok(rows.push_back(TrowRecord{}), rows.error(), rowsStopped)) return false;
  for (std::size_t i = 0; i < far.size(); ++i)
    if (!ok(farParents.push_back(TfarParent{}), farParents.error(), rowsStopped)) return false;
  std::copy_backward(rows.data() + at, rows.data() + n, rows.data() + n + m);
  std::copy(made.begin(), made.end(), rows.data() + at);

  // The roots after the new rows, and the rows with far parents, move down.
  uint32_t* roots = rootRows.data();
  for (uint32_t* r = std::lower_bound(roots, roots + rootRows.size(), at); r != roots + rootRows.size(); ++r)
    *r = static_cast<uint32_t>(*r + m);
  TfarParent* parents = farParents.data();
  const std::size_t farCount = farParents.size() - far.size();
  TfarParent* moved = std::lower_bound(parents, parents + farCount, at,
                                       [](const TfarParent& p, std::size_t row) { return p.row < row; });
  for (TfarParent* p = moved; p != parents + farCount; ++p) {
    p->row += m;
    p->parentRow += m;
  }
  std::copy_backward(moved, parents + farCount, parents + farCount + far.size());
  std::copy(far.begin(), far.end(), moved);

  // The ordinal counts from the checkpoint before the new rows on.
  std::size_t checkpoint = at / rowsPerCheckpoint;
  TordinalCheckpoint count = ordinals[checkpoint];
  for (std::size_t r = checkpoint * rowsPerCheckpoint; r < n + m; ++r) {
    if (r % rowsPerCheckpoint == 0) {
      const std::size_t c = r / rowsPerCheckpoint;
      if (c < ordinals.size())
        ordinals[c] = count;
      else if (!ok(ordinals.push_back(count), ordinals.error(), rowsStopped))
        return false;
    }
    const int group = ordinalGroup(rowType(r));
    if (group >= 0) ++count[static_cast<std::size_t>(group)];
  }
  counted = count;
  {
    const std::lock_guard<std::mutex> lock(cacheLock);
    countedRow = ~std::size_t{0};
  }
  shiftCache(at, m);
  return true;
}

bool Tstore::storeLoadedLeaf(const Tbase& obj, uint32_t& ref) {
  TloadedLeaf leaf;
  leaf.objType = static_cast<uint8_t>(obj.objType);
  leaf.srcKind = obj.srcKind;
  leaf.flags = obj.flags;
  leaf.valid = obj.valid;
  leaf.time = obj.time;
  const auto packet = [&](const TpacketBase& p) {
    leaf.pid = p.pid;
    leaf.idle = p.idle;
  };
  bool stored = true;
  visit(obj, Toverload{[&](const Treset& r) {
                         leaf.first = r.resetLen;
                         leaf.idle = r.idle;
                       },
                       [&](const Tsof& sof) {
                         packet(sof);
                         leaf.first = sof.frame;
                         leaf.crc5 = sof.crc5;
                         leaf.crcOK = sof.crcOK;
                       },
                       [&](const Ttoken& t) {
                         packet(t);
                         leaf.first = t.addr;
                         leaf.second = t.endp;
                         leaf.crc5 = t.crc5;
                         leaf.crcOK = t.crcOK;
                       },
                       [&](const Tdata& d) {
                         packet(d);
                         leaf.first = d.crc16;
                         leaf.crcOK = d.crcOK;
                         leaf.dataAt = loadedData.size();
                         leaf.dataSize = static_cast<uint32_t>(d.data.size());
                         stored = ok(loadedData.append(d.data.data(), d.data.size()), loadedData.error(),
                                     rowsStopped);
                       },
                       [&](const TpacketBase& p) { packet(p); }, [](const Tbase&) {}});
  if (!stored) return false;
  ref = static_cast<uint32_t>(loadedLeaves.size());
  return ok(loadedLeaves.push_back(leaf), loadedLeaves.error(), rowsStopped);
}

void Tstore::fillLoadedLeaf(uint32_t ref, Tbase& obj) const {
  const TloadedLeaf& leaf = loadedLeaves[ref];
  const auto packet = [&](TpacketBase& p) {
    p.pid = leaf.pid;
    p.idle = leaf.idle;
  };
  visit(obj, Toverload{[&](Treset& r) {
                         r.resetLen = leaf.first;
                         r.idle = leaf.idle;
                       },
                       [&](Tsof& sof) {
                         packet(sof);
                         sof.frame = leaf.first;
                         sof.crc5 = leaf.crc5;
                         sof.crcOK = leaf.crcOK;
                       },
                       [&](Ttoken& t) {
                         packet(t);
                         t.addr = leaf.first;
                         t.endp = leaf.second;
                         t.crc5 = leaf.crc5;
                         t.crcOK = leaf.crcOK;
                       },
                       [&](Tdata& d) {
                         packet(d);
                         d.crc16 = leaf.first;
                         d.crcOK = leaf.crcOK;
                         d.data.assign(loadedData.data() + leaf.dataAt,
                                       loadedData.data() + leaf.dataAt + leaf.dataSize);
                       },
                       [&](TpacketBase& p) { packet(p); }, [](Tbase&) {}});
  obj.srcKind = leaf.srcKind;
  obj.flags = leaf.flags;
  obj.valid = leaf.valid;
  obj.time = leaf.time;
}

void Tstore::keep(std::size_t first, const std::vector<TlinRow>& kept) {
  // Only the last of many rows would stay in the cache.
  const std::size_t from = kept.size() > cacheSlots ? kept.size() - cacheSlots : 0;
  TordinalCheckpoint count = countedBefore(first + from);
  const std::lock_guard<std::mutex> lock(cacheLock);
  if (cache.empty()) cache.resize(cacheSlots);
  for (std::size_t r = from; r < kept.size(); ++r) {
    kept[r].obj->ordinal = countRow(first + r, count);
    cache[(first + r) % cacheSlots] = TcacheSlot{first + r, kept[r].obj};
  }
}

void Tstore::shiftCache(std::size_t at, std::size_t count) {
  std::vector<TcacheSlot> moved;
  {
    const std::lock_guard<std::mutex> lock(cacheLock);
    for (TcacheSlot& slot : cache) {
      if (slot.row == ~std::size_t{0} || slot.row < at) continue;
      moved.push_back(std::move(slot));
      slot = TcacheSlot{};
    }
  }
  for (TcacheSlot& slot : moved) {
    Tbase& obj = *slot.obj;
    obj.row = static_cast<int32_t>(slot.row + count);
    if (obj.parentRow >= static_cast<int32_t>(at)) obj.parentRow += static_cast<int32_t>(count);
    keep(slot.row + count, {TlinRow{slot.obj, 0}});
  }
}

void Tstore::setRowFlags(std::size_t ix, uint8_t flags) {
  uint32_t& shape = rows[ix].shape;
  shape = (shape & ~rowshape::flagsMask) | flags;
}

int64_t Tstore::parentRow(std::size_t ix) const {
  const uint32_t up = rows[ix].shape >> rowshape::upShift;
  if (up == 0) return -1;
  if (up != rowshape::farParent) return static_cast<int64_t>(ix - up);
  const TfarParent* first = farParents.data();
  const TfarParent* at =
      std::lower_bound(first, first + farParents.size(), ix,
                       [](const TfarParent& far, std::size_t row) { return far.row < row; });
  return static_cast<int64_t>(at->parentRow);
}

TordinalCheckpoint Tstore::countedBefore(std::size_t ix) const {
  if (ix == rowCount()) return counted;  // its checkpoint may not be there yet
  std::size_t from = ix / rowsPerCheckpoint * rowsPerCheckpoint;
  TordinalCheckpoint count = ordinals[ix / rowsPerCheckpoint];
  {
    // Readers mostly go forward: the count where the last one stopped saves a scan.
    const std::lock_guard<std::mutex> lock(cacheLock);
    if (countedRow <= ix && countedRow > from) {
      from = countedRow;
      count = countedThere;
    }
  }
  for (std::size_t r = from; r < ix; ++r) countRow(r, count);
  const std::lock_guard<std::mutex> lock(cacheLock);
  countedRow = ix;
  countedThere = count;
  return count;
}

int32_t Tstore::countRow(std::size_t ix, TordinalCheckpoint& count) const {
  const int group = ordinalGroup(rowType(ix));
  return group < 0 ? 0 : static_cast<int32_t>(++count[static_cast<std::size_t>(group)]);
}

int32_t Tstore::ordinal(std::size_t ix) const {
  TordinalCheckpoint count = countedBefore(ix);
  return countRow(ix, count);
}

TobjPtr Tstore::rowObject(std::size_t ix, int32_t knownOrdinal) const {
  {
    const std::lock_guard<std::mutex> lock(cacheLock);
    if (cache.empty()) cache.resize(cacheSlots);
    const TcacheSlot& slot = cache[ix % cacheSlots];
    if (slot.row == ix) return slot.obj;
  }
  TobjPtr obj = makeRowObject(ix, knownOrdinal);
  const std::lock_guard<std::mutex> lock(cacheLock);
  cache[ix % cacheSlots] = TcacheSlot{ix, obj};
  return obj;
}

void Tstore::fillOwnObject(std::size_t ix, Tbase& obj) const {
  const TrowRecord record = rows[ix];
  if (!isLeaf(obj.objType)) {
    obj.valid = (record.ref & rowshape::invalidRef) == 0;
    visit(obj, Toverload{[&](Ttransax& t) {
                           t.trxType = static_cast<TtrxType>(record.ref & ~rowshape::invalidRef);
                         },
                         [](Tbase&) {}});
  } else if (record.shape & rowshape::loadedBit) {
    fillLoadedLeaf(record.ref, obj);
  } else {
    Tbin2obj::fill(eventView(eventOfObject(record.ref)), obj);
  }
  obj.level = rowLevel(ix);
}

TobjPtr Tstore::makeOwnObject(std::size_t ix, int32_t ordinal) const {
  const uint32_t type = rowType(ix);
  TobjPtr obj = isLeaf(type) ? Tbin2obj::newObject(type) : newGrouper(type);
  fillOwnObject(ix, *obj);
  obj->row = static_cast<int32_t>(ix);
  obj->parentRow = static_cast<int32_t>(parentRow(ix));
  obj->ordinal = ordinal;
  return obj;
}

TobjPtr Tstore::makeRowObject(std::size_t ix, int32_t knownOrdinal) const {
  if (isLeaf(rowType(ix))) return makeOwnObject(ix, knownOrdinal >= 0 ? knownOrdinal : ordinal(ix));
  // Its subtree is the rows after it down to the first with a parent before
  // it; their ordinals are counted on the way.
  TordinalCheckpoint count = countedBefore(ix);
  TobjPtr obj = makeOwnObject(ix, countRow(ix, count));
  auto& children = static_cast<Tgrouper&>(*obj).children;
  const auto self = static_cast<int64_t>(ix);
  for (std::size_t c = ix + 1; c < rowCount(); ++c) {
    const int64_t parent = parentRow(c);
    if (parent < self) break;
    const int32_t childOrdinal = countRow(c, count);
    if (parent == self) children.push_back(rowObject(c, childOrdinal));
  }
  return obj;
}

uint64_t Tstore::rowTime(std::size_t ix) const {
  const TrowRecord& record = rows[ix];
  if (!isLeaf(rowType(ix))) return ~uint64_t{0};
  if (record.shape & rowshape::loadedBit) return loadedLeaves[record.ref].time;
  const std::size_t e = eventOfObject(record.ref);
  return checkpointOf(e).time + events[e].time;
}

uint16_t Tstore::rowErrors(std::size_t ix) const {
  const TrowRecord& record = rows[ix];
  if (!isLeaf(rowType(ix))) return 0;
  if (record.shape & rowshape::loadedBit) return loadedLeaves[record.ref].flags;
  return static_cast<uint16_t>(events[eventOfObject(record.ref)].flags >> objectErrorShift << errorFlagShift);
}

uint8_t Tstore::rowPid(std::size_t ix) const {
  const TrowRecord& record = rows[ix];
  const uint32_t type = rowType(ix);
  if (type < otSof || type > otHandshake) return 0;
  if (record.shape & rowshape::loadedBit) return static_cast<uint8_t>(loadedLeaves[record.ref].pid);
  const std::size_t e = eventOfObject(record.ref);
  return bytes.data()[eventStart(e, checkpointOf(e))] & 15;
}

void Tstore::rowTokenTarget(std::size_t ix, uint32_t& addr, uint32_t& endp) const {
  addr = endp = 0;
  if (rowType(ix) != otToken) return;
  const TrowRecord& record = rows[ix];
  if (record.shape & rowshape::loadedBit) {
    addr = loadedLeaves[record.ref].first;
    endp = loadedLeaves[record.ref].second;
    return;
  }
  const TeventView ev = eventView(eventOfObject(record.ref));
  Tbin2obj::tokenTarget(ev.bytes, ev.size, addr, endp);
}

uint64_t Tstore::fileBytes() const {
  return events.size() * sizeof(TeventRecord) + eventRuns.size() * sizeof(TeventCheckpoint) + bytes.size() +
         skippedEvents.size() * sizeof(uint64_t) + rows.size() * sizeof(TrowRecord) +
         ordinals.size() * sizeof(TordinalCheckpoint) + farParents.size() * sizeof(TfarParent) +
         rootRows.size() * sizeof(uint32_t) + loadedLeaves.size() * sizeof(TloadedLeaf) + loadedData.size();
}

void TrowScan::countTo(std::size_t ix) {
  const std::size_t checkpoint = ix / rowsPerCheckpoint * rowsPerCheckpoint;
  if (ix < counted || checkpoint > counted) {
    counted = checkpoint;
    count = store.ordinals[ix / rowsPerCheckpoint];
  }
  for (; counted < ix; ++counted) store.countRow(counted, count);
}

TobjPtr TrowScan::row(std::size_t ix) {
  if (ix >= keptFrom && ix - keptFrom < kept.size()) return kept[ix - keptFrom];
  countTo(ix);
  kept.clear();
  keptFrom = ix;
  TobjPtr obj = store.makeOwnObject(ix, store.countRow(ix, count));
  ++counted;
  if (isLeaf(obj->objType)) return obj;
  // The subtree ends at the first row with a parent before it. Each row joins
  // its parent when that is among the groupers still open; a grouper closes
  // at the first row with a parent before it.
  kept.push_back(obj);
  open.assign(1, &static_cast<Tgrouper&>(*obj));
  const auto self = static_cast<int64_t>(ix);
  for (std::size_t c = ix + 1; c < store.rowCount(); ++c) {
    const int64_t parent = store.parentRow(c);
    if (parent < self) break;
    TobjPtr child = store.makeOwnObject(c, store.countRow(c, count));
    ++counted;
    while (!open.empty() && open.back()->row > parent) open.pop_back();
    if (!open.empty() && open.back()->row == parent) open.back()->children.push_back(child);
    if (!isLeaf(child->objType)) open.push_back(&static_cast<Tgrouper&>(*child));
    kept.push_back(std::move(child));
  }
  return obj;
}

std::size_t TrowScan::childCount(std::size_t ix) const {
  const auto self = static_cast<int64_t>(ix);
  std::size_t children = 0;
  for (std::size_t c = ix + 1; c < store.rowCount(); ++c) {
    const int64_t parent = store.parentRow(c);
    if (parent < self) break;
    children += parent == self;
  }
  return children;
}

Tbase& TrowScan::reused(uint32_t type) {
  TobjPtr& obj = objects[type];
  if (!obj) obj = isLeaf(type) ? Tbin2obj::newObject(type) : newGrouper(type);
  return *obj;
}

void TrowScan::eachInSubtree(std::size_t ix, const std::function<void(const Tbase&, std::size_t)>& put) {
  // The rows row() would join to their parents, found as it finds them.
  const auto self = static_cast<int64_t>(ix);
  openRows.clear();
  for (std::size_t c = ix; c < store.rowCount(); ++c) {
    if (c > ix) {
      const int64_t parent = store.parentRow(c);
      if (parent < self) break;
      while (!openRows.empty() && static_cast<int64_t>(openRows.back()) > parent) openRows.pop_back();
      if (openRows.empty() || static_cast<int64_t>(openRows.back()) != parent) continue;
    }
    const uint32_t type = store.rowType(c);
    Tbase& obj = reused(type);
    store.fillOwnObject(c, obj);
    if (isLeaf(type)) {
      put(obj, 0);
      continue;
    }
    openRows.push_back(c);
    put(obj, childCount(c));
  }
}

Tbase& TrowScan::pooled(std::size_t c, int32_t ordinal) {
  const uint32_t type = store.rowType(c);
  std::vector<TobjPtr>& objs = pool[type];
  std::size_t& n = used[type];
  if (n == objs.size()) objs.push_back(isLeaf(type) ? Tbin2obj::newObject(type) : newGrouper(type));
  Tbase& obj = *objs[n++];
  if (!isLeaf(type)) static_cast<Tgrouper&>(obj).children.clear();
  if (type == otTransfer) {
    auto& transfer = static_cast<Ttransfer&>(obj);
    transfer.data.clear();
    transfer.complete = false;
  }
  store.fillOwnObject(c, obj);
  obj.row = static_cast<int32_t>(c);
  obj.parentRow = static_cast<int32_t>(store.parentRow(c));
  obj.ordinal = ordinal;
  return obj;
}

const TobjPtr& TrowScan::filled(std::size_t ix) {
  // A grouper of a great many rows (a long idle stretch of SOFs) leaves no
  // more than this many objects of a class behind.
  constexpr std::size_t keptPerClass = 1024;
  for (uint32_t type = 0; type < otGrouper; ++type) {
    used[type] = 0;
    if (pool[type].size() > keptPerClass) pool[type].resize(keptPerClass);
  }
  countTo(ix);
  Tbase& top = pooled(ix, store.countRow(ix, count));
  ++counted;
  // The first of its class in this call; what it joins below may grow the pool.
  const uint32_t type = top.objType;
  if (isLeaf(type)) return pool[type][0];
  // Joined as row() joins them; the scan's own count stays after row ix, where
  // the next row asked for most likely is.
  TordinalCheckpoint below = count;
  open.assign(1, &static_cast<Tgrouper&>(top));
  const auto self = static_cast<int64_t>(ix);
  for (std::size_t c = ix + 1; c < store.rowCount(); ++c) {
    const int64_t parent = store.parentRow(c);
    if (parent < self) break;
    const int32_t ordinal = store.countRow(c, below);
    while (!open.empty() && open.back()->row > parent) open.pop_back();
    if (open.empty() || open.back()->row != parent) continue;
    Tgrouper& joins = *open.back();
    Tbase& child = pooled(c, ordinal);
    joins.children.push_back(pool[child.objType][used[child.objType] - 1]);
    if (!isLeaf(child.objType)) open.push_back(&static_cast<Tgrouper&>(child));
  }
  return pool[type][0];
}
