// Test support: builds raw capture streams from line-state runs and USB packets
// from bytes (bit stuffing, NRZI, sync), in several byte packings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/ovraw.h"

namespace linestream {

struct Trun {
  uint32_t state;
  uint64_t ticks;
};

// How runs become item bytes. The last sample of a byte always absorbs the
// rest of its run through count bytes when counts are allowed.
struct Tpacking {
  bool six = true;      // six-sample bytes where the next six ticks are K or J
  bool markers = true;  // an SE0 run starting on a byte boundary becomes a run marker
  bool counts = true;   // false: data bytes carry no count, every tick is a sample
};

std::vector<uint8_t> magicBytes();
// Count bytes whose value is v.
std::vector<uint8_t> countBytes(uint64_t v);
// Item bytes for the runs. A final byte that runs out of ticks is padded with
// the last state.
std::vector<uint8_t> packRuns(const std::vector<Trun>& runs, Tpacking packing = {});
// The magic followed by packRuns.
std::vector<uint8_t> stream(const std::vector<Trun>& runs, Tpacking packing = {});

// Packet bits before stuffing: each byte from bit 0 up.
std::vector<int> bitsOf(const std::vector<uint8_t>& bytes);
// Inserts a 0 after every six 1 bits in a row.
std::vector<int> stuff(const std::vector<int>& bits);
// Line states of sync (6 or 8 ticks) and NRZI-encoded bits, as merged runs.
std::vector<Trun> packetRuns(const std::vector<int>& stuffedBits, int syncLen = 8);
// A well-formed packet: sync, stuffed bits, SE0 for 2 ticks, then idle J.
std::vector<Trun> packet(const std::vector<uint8_t>& bytes, uint64_t idle, int syncLen = 8);

// Appends b to a.
void append(std::vector<Trun>& a, const std::vector<Trun>& b);

}  // namespace linestream
