// Raw capture stream to bus events, on a capture at full bus load: back-to-back
// bulk IN and OUT transfers of 64-byte packets, a SOF every millisecond.
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "bench.h"
#include "decode/ovraw2bin.h"
#include "synth/host.h"
#include "synth/rawencoder.h"

namespace {

struct Tcapture {
  std::vector<uint8_t> raw;
  size_t expectedEvents = 0;
};

Tcapture fullLoadCapture(size_t minBytes) {
  synth::TbusWriter bus;
  synth::ThostTiming timing;
  timing.betweenMin = 2;  // the host starts its next transaction at once
  timing.betweenMax = 4;
  timing.nakPercent = 0;
  synth::TusbHost host(bus, 7, timing);
  synth::TrawEncoder encoder;
  std::mt19937_64 rng(11);
  Tcapture capture;
  synth::Tbytes data(512);
  while (capture.raw.size() < minBytes) {
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
    host.bulkIn(5, 1, 64, data);
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
    host.bulkOut(5, 2, 64, data);
    encoder.encode(bus.takeRuns(), capture.raw);
    capture.expectedEvents += bus.takeEvents().size();
  }
  bus.finish();
  encoder.encode(bus.takeRuns(), capture.raw);
  encoder.finish(capture.raw);
  capture.expectedEvents += bus.takeEvents().size();
  return capture;
}

// What the decode thread does with a captured buffer, up to the bus events:
// the reader reads the buffer in place. Returns the bytes consumed.
size_t decodeToEvents(const std::vector<uint8_t>& raw, std::vector<TeventBin>& events) {
  events.clear();
  Traw reader;
  reader.useRawData(raw);
  Traw2bin bin;
  uint64_t progress = 0;
  while (bin.getNextBinEvent(reader, events, progress)) {
  }
  return static_cast<size_t>(progress);
}

uint64_t byteSum(const std::vector<uint8_t>& raw) {
  uint64_t sum = 0;
  for (uint8_t b : raw) sum += b;
  return sum;
}

}  // namespace

TWR_BENCH(raw) {
  const Tcapture capture = fullLoadCapture((options.quick ? 16u : 64u) << 20);
  const int reps = options.quick ? 3 : 5;
  // Reused across runs, as the decode thread reuses its event vector.
  std::vector<TeventBin> events;
  double totalSeconds = 1e9;
  for (int i = 0; i < reps; ++i) {
    Stopwatch watch;
    const size_t consumed = decodeToEvents(capture.raw, events);
    totalSeconds = std::min(totalSeconds, watch.seconds());
    if (consumed != capture.raw.size() || events.size() != capture.expectedEvents) {
      std::fprintf(stderr, "raw bench: decoded %zu of %zu bytes into %zu events, expected %zu\n", consumed,
                   capture.raw.size(), events.size(), capture.expectedEvents);
    }
  }
  double scanSeconds = 1e9;
  uint64_t sum = 0;
  for (int i = 0; i < reps; ++i) {
    Stopwatch watch;
    sum += byteSum(capture.raw);
    scanSeconds = std::min(scanSeconds, watch.seconds());
  }
  const double mb = static_cast<double>(capture.raw.size()) / 1e6;
  report("raw_capture_size", mb, "MB");
  report("raw_to_events_mbps", mb / totalSeconds, "MB/s");
  report("raw_events_scan_ratio", totalSeconds / scanSeconds, "ratio");
  if (sum == 0) std::fprintf(stderr, "raw bench: empty capture\n");
}
