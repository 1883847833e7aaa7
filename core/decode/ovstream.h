// The data one endpoint moved, as its receiver took it: the payloads of the
// acknowledged data packets in bus order, each repeat of a retry left out.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/ovcapture.h"

// Payloads that followed each other with no longer pause than the gap.
struct TstreamRun {
  uint64_t time = 0;  // of the run's first data packet
  std::vector<uint8_t> bytes;
};

struct TendpointStream {
  std::vector<TstreamRun> runs;
  uint64_t packets = 0;         // acknowledged data packets taken, zero-length ones included
  uint64_t retries = 0;         // acknowledged repeats left out
  uint64_t unacknowledged = 0;  // data packets NAKed, stalled or not answered
};

// Ticks of silence on an endpoint that start a new run.
constexpr uint64_t streamRunGap = 2 * 12000;

// The stream of `endpoint` (as descriptors write it: 0x82 is IN 2) of device
// `address`, from the top-level objects of a capture.
TendpointStream endpointStream(const Tcapture& capture, unsigned address, unsigned endpoint,
                               uint64_t runGap = streamRunGap);
