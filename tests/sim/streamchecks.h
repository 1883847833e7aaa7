// Checks of what the synthesizer writes: a small raw-stream reader written
// straight from the stream rules, independent of the synthesizer and of the
// core's reader; and the core's bus decoding compared with recorded events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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
// Bus events through the core's reader and bus decoder; the stream is added in
// two appends, the first firstAppend bytes long.
std::vector<TeventBin> decodeEvents(const std::vector<uint8_t>& stream, size_t firstAppend = 0);
// Reports the first difference only, with enough context to replay it.
void expectSameEvents(const std::vector<TeventBin>& got, const std::vector<TeventBin>& want,
                      const std::string& what = "");
