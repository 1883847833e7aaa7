// Small decoders written straight from the stream and bus rules, independent of
// the synthesizer, to check what it writes.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/ovbase.h"

struct TrefRun {
  int state;
  uint64_t ticks;
  bool operator==(const TrefRun& o) const { return state == o.state && ticks == o.ticks; }
};

// Runs as the reader delivers them: merged only inside one item. False on a bad header.
bool refDecodeRaw(const std::vector<uint8_t>& stream, std::vector<TrefRun>& runs);
// Neighbouring runs of the same state joined.
std::vector<TrefRun> refMerge(const std::vector<TrefRun>& runs);
// Bus events from runs: resets, and packets with sync, NRZI and unstuffing undone.
std::vector<TeventBin> refDecodeBus(const std::vector<TrefRun>& runs);
