// A decoded capture: the bus events as recorded, the packets in bus order, the
// tree's roots and the display rows. Readers go through the accessors only, so
// what holds the capture behind them may change without touching them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/ovbase.h"

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
  Tcapture() = default;

  // Display rows. A row's object stays valid as long as the caller holds it,
  // also after the capture changed or was destroyed.
  std::size_t rowCount() const { return rows->size(); }
  TlinRow row(std::size_t ix) const { return (*rows)[ix]; }
  TrowSummary rowSummary(std::size_t ix) const;
  // The display model's bits; the row builder's bits are kept as they are.
  uint8_t rowFlags(std::size_t ix) const { return (*rows)[ix].flags; }
  void setRowFlags(std::size_t ix, uint8_t flags) { (*rows)[ix].flags = flags; }

  // The tree's top-level objects, in time order.
  std::size_t rootCount() const { return trees->size(); }
  TobjPtr root(std::size_t ix) const { return (*trees)[ix]; }

  // Bus events as recorded, and the packets and resets made of them in bus
  // order; none of either for a sample file, which keeps decoded objects only.
  std::size_t eventCount() const { return events->size(); }
  TeventBin event(std::size_t ix) const { return (*events)[ix]; }
  std::size_t busObjectCount() const { return objects->size(); }
  TobjPtr busObject(std::size_t ix) const { return (*objects)[ix]; }

  // Writers for sources that are not decoded from bus events (pcap events,
  // sample files): appended only, never changed afterwards. A sample file
  // appends its rows as it holds them.
  void appendEvent(TeventBin&& event) { events->push_back(std::move(event)); }
  void appendRoot(TobjPtr root) { trees->push_back(std::move(root)); }
  void appendRow(TlinRow row) { rows->push_back(std::move(row)); }
  void reserveRows(std::size_t count) { rows->reserve(count); }

  // Empties the capture, keeping its room for the next one.
  void clear();
  void swap(Tcapture& other) noexcept;

  // Until every reader goes through the accessors.
  std::shared_ptr<std::vector<TeventBin>> events = std::make_shared<std::vector<TeventBin>>();
  std::shared_ptr<TobjVec> trees = std::make_shared<TobjVec>();
  std::shared_ptr<std::vector<TlinRow>> rows = std::make_shared<std::vector<TlinRow>>();
  std::shared_ptr<TobjVec> objects = std::make_shared<TobjVec>();

 private:
  // The decode chain appends to the events, packets, roots and rows and
  // makes rows again from its first changed row on.
  friend class TdecodeChain;
};
