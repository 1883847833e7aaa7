// A decoded capture: the bus events as recorded, the packets in bus order, the
// tree's roots and the display rows. Readers go through the accessors only, so
// what holds the capture behind them may change without touching them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/ovbase.h"
#include "decode/ovtree2lin.h"

// What scans over every row need to know of it, without making its object.
struct TrowSummary {
  uint32_t objType = otGrouper;
  int32_t level = 0;
  int32_t parentRow = -1;
  uint64_t time = ~uint64_t{0};  // none, as for a grouper or a row without object
  uint16_t errors = 0;           // error flag bits
  uint8_t rowFlags = 0;
  // A packet's PID; a transaction's handshake PID (NAK when any of them is a
  // NAK); 0 for anything else and a transaction without handshake.
  uint8_t pid = 0;
};

class TdecodeChain;

class Tcapture {
 public:
  Tcapture() = default;
  // A capture may be large: it moves, never copies.
  Tcapture(Tcapture&&) noexcept = default;
  Tcapture& operator=(Tcapture&&) noexcept = default;
  Tcapture(const Tcapture&) = delete;
  Tcapture& operator=(const Tcapture&) = delete;

  // Display rows. A row's object stays valid as long as the caller holds it,
  // also after the capture changed or was destroyed.
  std::size_t rowCount() const { return rows.size(); }
  TlinRow row(std::size_t ix) const { return rows[ix]; }
  TrowSummary rowSummary(std::size_t ix) const;
  // The display model's bits; the row builder's bits are kept as they are.
  uint8_t rowFlags(std::size_t ix) const { return rows[ix].flags; }
  void setRowFlags(std::size_t ix, uint8_t flags) { rows[ix].flags = flags; }

  // The tree's top-level objects, in time order.
  std::size_t rootCount() const { return roots.size(); }
  TobjPtr root(std::size_t ix) const { return roots[ix]; }

  // Bus events as recorded, and the packets and resets made of them in bus
  // order; none of either for a sample file, which keeps decoded objects only.
  std::size_t eventCount() const { return events.size(); }
  TeventBin event(std::size_t ix) const { return events[ix]; }
  std::size_t busObjectCount() const { return objects.size(); }
  TobjPtr busObject(std::size_t ix) const { return objects[ix]; }

  // Writers for sources the decode chain does not fill: the events of a pcap
  // file, which the chain then decodes, and the roots of a sample file. A root
  // gains nothing more once appended; its rows are appended with it.
  void appendEvent(TeventBin&& event) { events.push_back(std::move(event)); }
  void reserveEvents(std::size_t count) { events.reserve(count); }
  void appendRoot(TobjPtr root);
  void reserveRows(std::size_t count) { rows.reserve(count); }

  // Lets go of the bus events and the packets in bus order: a capture that is
  // kept for showing holds what a sample file holds.
  void releaseBusRecord();
  // Empties the capture, keeping its room for the next one.
  void clear();
  void swap(Tcapture& other) noexcept;

 private:
  // The decode chain appends to the events, packets, roots and rows and
  // makes rows again from its first changed row on.
  friend class TdecodeChain;

  std::vector<TeventBin> events;
  TobjVec objects;
  TobjVec roots;
  std::vector<TlinRow> rows;
  Ttree2lin rootRows;  // numbers the rows of appended roots
};
