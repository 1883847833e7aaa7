// Realistic captures for the pipeline tests: synthetic bus traffic encoded as
// the capture device's raw stream.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/descriptors.h"
#include "synth/host.h"
#include "synth/rawencoder.h"
#include "synth/requests.h"
#include "synth/traffic.h"

namespace testcap {

// Closes the bus and encodes everything written so far, varying the byte kinds
// so every branch of the reader is used.
inline std::vector<uint8_t> rawOf(synth::TbusWriter& bus, uint64_t seed = 1) {
  bus.finish();
  synth::TrawOptions options;
  options.varied = true;
  options.seed = seed;
  options.fillerBytes = 3;
  return synth::encodeRaw(bus.takeRuns(), options);
}

// A host that never NAKs control transfers by chance, so the tree is known.
inline synth::ThostTiming steadyTiming() {
  synth::ThostTiming timing;
  timing.nakPercent = 0;
  return timing;
}

inline synth::Tbytes slice(const synth::Tbytes& v, size_t from, size_t n) {
  return synth::Tbytes(v.begin() + from, v.begin() + from + n);
}

}  // namespace testcap
