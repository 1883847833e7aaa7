// Line states on the bus, one full-speed bit time (tick) each, held as runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "synth/usbpackets.h"

namespace synth {

enum TlineState : uint8_t { lsSe0 = 0, lsK = 1, lsJ = 2, lsSe1 = 3 };

struct TlineRun {
  uint8_t state = lsJ;
  uint32_t ticks = 0;
};

using TlineRuns = std::vector<TlineRun>;

// Ways to spoil a packet on the wire.
struct TpacketFaults {
  bool shortSync = false;       // K J K J K K: still a valid sync for a decoder
  bool brokenSync = false;      // the first K lasts two ticks: no sync found
  int se1AtBit = -1;            // >= 0: the first J at or after this bit (after sync) becomes SE1
  uint32_t se1Ticks = 1;        // how long that SE1 lasts: a decoder reads it as one J all the same
  bool stuffViolation = false;  // the first stuffed 0 is sent as a 1
};

// Appends runs, merging a run into the previous one of the same state while
// the length fits.
inline void appendRun(TlineRuns& runs, uint8_t state, uint32_t ticks) {
  if (ticks == 0) return;
  if (!runs.empty() && runs.back().state == state && runs.back().ticks <= UINT32_MAX - ticks) {
    runs.back().ticks += ticks;
  } else {
    runs.push_back({state, ticks});
  }
}

struct TpacketWire {
  uint32_t ticks = 0;         // sync through the end-of-packet SE0
  bool faultsApplied = true;  // false: a fault had no place to go (no J after se1AtBit, nothing stuffed)
  bool se1Placed = false;
};

// Sync, NRZI-coded bits with stuffing and the two SE0 ticks of the end of
// packet. The J that ends the EOP is left to the caller: it starts the idle.
TpacketWire appendPacket(TlineRuns& runs, const Tbytes& bytes, const TpacketFaults& faults = {});

// Ticks covered by the runs.
uint64_t runTicks(const TlineRuns& runs);
// Keeps the first `ticks` ticks.
void truncateRuns(TlineRuns& runs, uint64_t ticks);

}  // namespace synth
