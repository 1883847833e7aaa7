// A decoded capture: the bus events as recorded, the packets in bus order, the
// tree's roots and the display rows. Readers go through the accessors only;
// behind them the capture is kept in a store of records in files (see
// ovstore.h), and an object is made from its records when asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decode/ovbase.h"
#include "decode/ovstore.h"
#include "decode/ovtimeline.h"
#include "decode/ovtree2lin.h"

// What scans over every row need to know of it, without making its object.
struct TrowSummary {
  uint32_t objType = otGrouper;
  int32_t level = 0;
  int32_t parentRow = -1;
  uint64_t time = 0;
  uint16_t errors = 0;  // error flag bits
  uint8_t rowFlags = 0;
  // A packet's PID; a transaction's handshake PID (NAK when any of them is a
  // NAK); 0 for anything else and a transaction without handshake.
  uint8_t pid = 0;
};

class TdecodeChain;

class Tcapture {
 public:
  Tcapture();
  // A capture may be large: it moves, never copies; the one moved from is empty.
  Tcapture(Tcapture&& other) : Tcapture() { swap(other); }
  Tcapture& operator=(Tcapture&& other) {
    swap(other);
    other.clear();
    return *this;
  }
  Tcapture(const Tcapture&) = delete;
  Tcapture& operator=(const Tcapture&) = delete;

  // Display rows. A row's object stays valid as long as the caller holds it,
  // also after the capture changed or was destroyed.
  std::size_t rowCount() const { return store->rowCount(); }
  TlinRow row(std::size_t ix) const { return store->row(ix); }
  TrowSummary rowSummary(std::size_t ix) const;
  // For scans over many rows, which need no cache: rows' objects made in row
  // order (see TrowScan). Valid while the capture is unchanged.
  TrowScan rowScan() const { return TrowScan(*store); }
  // A row's level alone, for scans that look for the top level.
  int32_t rowLevel(std::size_t ix) const { return store->rowLevel(ix); }
  // Single facts of a row, for scans over every row that need no more: its
  // objType, its parent's row (-1 for a root), a token's address and endpoint.
  uint32_t rowType(std::size_t ix) const { return store->rowType(ix); }
  int64_t parentRow(std::size_t ix) const { return store->parentRow(ix); }
  void rowTokenTarget(std::size_t ix, uint32_t& addr, uint32_t& endp) const {
    store->rowTokenTarget(ix, addr, endp);
  }
  // The display model's bits; the row builder's bits are kept as they are.
  uint8_t rowFlags(std::size_t ix) const { return store->rowFlags(ix); }
  void setRowFlags(std::size_t ix, uint8_t flags) { store->setRowFlags(ix, flags); }

  // The tree's top-level objects, in time order.
  std::size_t rootCount() const { return store->rootCount(); }
  TobjPtr root(std::size_t ix) const { return store->root(ix); }
  std::size_t rootRow(std::size_t ix) const { return store->rootRow(ix); }

  // Bus events as recorded, and the packets and resets made of them in bus
  // order; none of either for a sample file, which keeps decoded objects only.
  std::size_t eventCount() const { return busRecordKept ? store->eventCount() : 0; }
  TeventView event(std::size_t ix) const { return store->eventView(ix); }
  std::size_t busObjectCount() const { return busRecordKept ? store->objectCount() : 0; }
  TobjPtr busObject(std::size_t ix) const { return store->object(ix); }

  // Writers for sources the decode chain does not fill: the events of a pcap
  // file, which the chain then decodes, and the roots of a sample file. A root
  // gains nothing more once appended; its rows are appended with it. Each
  // returns false once the store cannot grow (storeError() says why).
  bool appendEvent(TeventBin&& event);
  bool appendRoot(const TobjPtr& root);
  // One object read from a sample file, its row put at row `at` (the end of
  // the rows of the grouper it joins), under parentRow, with the row flags
  // its parents hand down.
  bool placeRow(const TobjPtr& obj, std::size_t at, int parentRow, uint8_t inherited);

  // From now on the capture shows no bus events and no packets in bus order,
  // as a sample file: what is exported from it is made from its rows. (The
  // store keeps the events its rows are made from.)
  void releaseBusRecord() { busRecordKept = false; }
  // Why the capture stopped growing early; empty while it did not.
  const std::string& storeError() const { return store->error(); }
  // Bytes the capture's files hold.
  uint64_t storeBytes() const { return store->fileBytes(); }
  // Bus use over time, filled as packets arrive (by every writer above and the decode chain).
  const Ttimeline& timeline() const { return *busUse; }

  // Empties the capture: its store, with its files, goes.
  void clear();
  void swap(Tcapture& other) noexcept;

 private:
  // The decode chain appends to the store and puts rows into it.
  friend class TdecodeChain;

  // Puts the packets and resets among the rows made into the timeline.
  void addToTimeline();

  std::unique_ptr<Tstore> store;
  std::unique_ptr<Ttimeline> busUse;
  bool busRecordKept = true;
  Ttree2lin lines;            // numbers the rows of appended objects
  std::vector<TlinRow> made;  // rows on their way to the store
  std::vector<int64_t> noBusIndex;
};
