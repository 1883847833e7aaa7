// A decoded capture kept as records in files mapped into memory: the bus
// events with their bytes in one log, and the display rows. The objects the
// rest of the program reads are made from the records when asked, and stay
// valid for as long as their holder keeps them, whatever becomes of the store.
//
// One thread appends; others may read what was appended before (the counts
// are published after the records they count).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "decode/ovbase.h"
#include "decode/ovstorerecords.h"
#include "files/ovmappedfile.h"

class TrowScan;

class Tstore {
 public:
  // The files go to dir, the capture directory when empty; nothing is made
  // before the first append.
  explicit Tstore(const std::string& dir = {});
  Tstore(const Tstore&) = delete;
  Tstore& operator=(const Tstore&) = delete;

  // ---- appending; each returns false once a file cannot grow (see error()),
  // and then nothing more is appended ----

  // obj: the event's object in bus order (Tbin2obj's), null when it has none.
  bool appendEvent(const TeventBin& ev, const Tbase* obj);
  // A row whose object's row, parentRow and level are set. A packet or reset
  // made from an event names its index in bus order; any other object (a
  // grouping one, or one read from a sample file) is kept whole.
  bool appendRow(const TlinRow& row, uint64_t objectIndex);
  bool appendRow(const TlinRow& row);
  // Rows that join an existing grouping row (a control transfer that gains a
  // transaction, a SOF group a SOF), put at row `at`, the end of its rows; the
  // rows from there on move down. busIndex[i] as objectIndex above, or -1.
  bool insertRows(std::size_t at, const std::vector<TlinRow>& rows, const std::vector<int64_t>& busIndex);
  // The level of an object in bus order, for one that has no row.
  void setObjectLevel(uint64_t objectIndex, int level);
  // The first reason an append failed; empty while none has.
  const std::string& error() const { return failure; }
  bool takesRows() const { return !rowsStopped; }

  // ---- reading ----

  std::size_t eventCount() const { return events.size(); }
  TeventBin event(std::size_t ix) const;
  TeventView eventView(std::size_t ix) const;
  // The packets and resets in bus order, made from their events.
  std::size_t objectCount() const;
  TobjPtr object(std::size_t ix) const;

  std::size_t rowCount() const { return rows.size(); }
  TlinRow row(std::size_t ix) const { return TlinRow{rowObject(ix), rowFlags(ix)}; }
  // knownOrdinal: the row's ordinal when the caller counted it already.
  TobjPtr rowObject(std::size_t ix, int32_t knownOrdinal = -1) const;
  // The object a writer stored at `row` is the one readers get while the
  // cache holds it (its ordinal set from the store): a display keeps its
  // place by the objects it holds.
  void keep(std::size_t first, const std::vector<TlinRow>& kept);
  uint8_t rowFlags(std::size_t ix) const {
    return static_cast<uint8_t>(rows[ix].shape & rowshape::flagsMask);
  }
  void setRowFlags(std::size_t ix, uint8_t flags);
  // Cheap facts of a row, read without making its object.
  uint32_t rowType(std::size_t ix) const {
    return rows[ix].shape >> rowshape::typeShift & rowshape::typeMask;
  }
  int rowLevel(std::size_t ix) const {
    return static_cast<int>(rows[ix].shape >> rowshape::levelShift & rowshape::levelMask);
  }
  int64_t parentRow(std::size_t ix) const;
  int32_t ordinal(std::size_t ix) const;
  // Of a row's object, read without making it: its time, error flags, and PID
  // (a packet's; 0 for anything else).
  uint64_t rowTime(std::size_t ix) const;
  uint16_t rowErrors(std::size_t ix) const;
  uint8_t rowPid(std::size_t ix) const;
  // A token row's address and endpoint; 0 and 0 for any other row.
  void rowTokenTarget(std::size_t ix, uint32_t& addr, uint32_t& endp) const;
  // Bytes the files hold.
  uint64_t fileBytes() const;
  // The tree's top-level objects: the rows without a parent.
  std::size_t rootCount() const { return rootRows.size(); }
  std::size_t rootRow(std::size_t ix) const { return rootRows[ix]; }
  TobjPtr root(std::size_t ix) const { return rowObject(rootRows[ix]); }

 private:
  friend class TrowScan;

  // Records the first failure; `stopped` then refuses what follows of its kind.
  bool ok(bool appended, const std::string& why, bool& stopped);
  bool startRun(const TeventBin& ev);
  const TeventCheckpoint& checkpointOf(std::size_t eventIx) const;
  uint64_t eventStart(std::size_t eventIx, const TeventCheckpoint& run) const;
  std::size_t eventOfObject(std::size_t objectIx) const;
  bool pushRow(const TlinRow& row, int64_t busIndex);
  // The record of a row at index `at`; false when a far parent or loaded
  // leaf could not be stored.
  bool makeRecord(const TlinRow& row, int64_t busIndex, uint64_t at, TrowRecord& record,
                  std::vector<TfarParent>& far);
  // Cached objects from row `at` on take their new rows.
  void shiftCache(std::size_t at, std::size_t count);
  TobjPtr makeRowObject(std::size_t ix, int32_t knownOrdinal) const;
  // A row's object without a grouper's children.
  TobjPtr makeOwnObject(std::size_t ix, int32_t ordinal) const;
  // Sets every member of an object of the row's class that the row gives, but
  // its place (row, parentRow, ordinal) and a grouper's children.
  void fillOwnObject(std::size_t ix, Tbase& obj) const;
  // The ordinal groups of the rows before row ix; countRow adds row ix's and
  // gives its ordinal (0 for a row of no group).
  TordinalCheckpoint countedBefore(std::size_t ix) const;
  int32_t countRow(std::size_t ix, TordinalCheckpoint& count) const;
  void fillLoadedLeaf(uint32_t ref, Tbase& obj) const;
  bool storeLoadedLeaf(const Tbase& obj, uint32_t& ref);

  TmappedArray<TeventRecord> events;
  TmappedArray<TeventCheckpoint> eventRuns;
  TmappedFile bytes;
  TmappedArray<uint64_t> skippedEvents;  // events without an object, ascending
  TmappedArray<TrowRecord> rows;
  TmappedArray<TordinalCheckpoint> ordinals;
  TmappedArray<TfarParent> farParents;
  TmappedArray<uint32_t> rootRows;
  TmappedArray<TloadedLeaf> loadedLeaves;
  TmappedFile loadedData;        // the payloads of loaded data packets
  TordinalCheckpoint counted{};  // ordinal groups of all rows so far
  std::string failure;
  // A file that could not grow stops its kind: no more events, or no more
  // rows (the events before may still get theirs).
  bool eventsStopped = false;
  bool rowsStopped = false;

  // The objects made last, by row: a screen repainted or a key held down
  // asks for the same ones again and again.
  struct TcacheSlot {
    std::size_t row = ~std::size_t{0};
    TobjPtr obj;
  };
  static constexpr std::size_t cacheSlots = 4096;
  mutable std::mutex cacheLock;
  mutable std::vector<TcacheSlot> cache;
  // The ordinal groups of the rows before countedRow, as last counted.
  mutable std::size_t countedRow = ~std::size_t{0};
  mutable TordinalCheckpoint countedThere{};
};

// Rows' objects made in row order for a scan over many of them: without the
// store's cache or its lock, the ordinals counted on the way. A grouper's
// subtree is made with it and kept until the scan is asked for a row past it,
// so that its rows, asked for next, are the objects their parents hold.
// Valid while the store is unchanged; asking for an earlier row than the last
// costs a recount from its checkpoint.
class TrowScan {
 public:
  explicit TrowScan(const Tstore& store) : store(store) {}
  TobjPtr row(std::size_t ix);
  // Row ix and the rows of its subtree that row(ix)'s object holds, in row
  // order, each as put(obj, children): its object made in place (valid during
  // the call, without its place in the rows or a grouper's children) and its
  // number of children. A scan that reads each row once makes no objects.
  void eachInSubtree(std::size_t ix, const std::function<void(const Tbase&, std::size_t)>& put);
  // Row ix's object with its subtree, as row(ix) gives them, made of objects
  // the scan reuses from call to call: valid until the next call, and no
  // allocation once the scan has enough of them. For reading many rows once.
  const TobjPtr& filled(std::size_t ix);

 private:
  // Counts the ordinal groups up to, not including, row ix.
  void countTo(std::size_t ix);
  std::size_t childCount(std::size_t ix) const;
  Tbase& reused(uint32_t type);
  // The next object of row c's class not yet used in this call to filled(),
  // made from the row.
  Tbase& pooled(std::size_t c, int32_t ordinal);

  const Tstore& store;
  std::size_t counted = 0;  // the rows `count` has counted
  TordinalCheckpoint count{};
  std::size_t keptFrom = 0;
  std::vector<TobjPtr> kept;  // the objects of rows keptFrom on
  std::vector<Tgrouper*> open;
  std::vector<std::size_t> openRows;
  std::array<TobjPtr, otGrouper> objects;            // one of each class, for eachInSubtree
  std::array<std::vector<TobjPtr>, otGrouper> pool;  // for filled(), by class
  std::array<std::size_t, otGrouper> used{};
};
