// The whole decode pipeline, raw capture bytes to display rows, on a capture at
// full bus load.
#include <malloc.h>
#include <time.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "bench.h"
#include "decode/ovexthrd.h"
#include "synth/host.h"
#include "synth/rawencoder.h"
#include "synth/requests.h"
#include "synth/traffic.h"

namespace {

// Bytes held by the heap, small blocks and mapped ones alike, over all arenas.
size_t heapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// CPU seconds of the whole process. The caller of startDecode sleeps in the
// join, so around a decode this is the decode thread's time on its one core,
// which holds still on a machine shared with other work; wall time does not.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Back-to-back bulk transfers in both directions with SOFs every millisecond,
// some NAKed polling of an interrupt endpoint and a control read now and then.
std::vector<uint8_t> fullLoadCapture(size_t minBytes) {
  using namespace synth;
  TbusWriter bus;
  ThostTiming timing;
  timing.betweenMin = 4;
  timing.betweenMax = 12;
  TusbHost host(bus, 42, timing);
  TrawEncoder encoder;
  std::vector<uint8_t> raw;
  raw.reserve(minBytes + (1 << 20));

  Tbytes payload(64);
  std::iota(payload.begin(), payload.end(), 0);
  const Tbytes report{0, 1, 0xFF, 0};
  const Tbytes descriptor(18, 0x12);
  bus.reset(30000);
  for (unsigned round = 0; raw.size() < minBytes; ++round) {
    host.bulkIn(5, 1, 64, payload, round % 4 == 0 ? 1 : 0);
    host.bulkOut(5, 2, 64, payload);
    if (round % 16 == 0) host.pollIn(7, 1, round % 64 == 0 ? &report : nullptr);
    if (round % 512 == 0) host.controlRead(7, 8, getDescriptor(dtDevice, 0, 0, 18), descriptor);
    if (round % 64 == 0) encoder.encode(bus.takeRuns(), raw);
  }
  bus.finish();
  encoder.encode(bus.takeRuns(), raw);
  encoder.finish(raw);
  return raw;
}

}  // namespace

TWR_BENCH(pipeline) {
  const size_t minBytes = (options.quick ? 16u : 64u) << 20;
  const std::vector<uint8_t> raw = fullLoadCapture(minBytes);

  double cpu = cpuSeconds();
  const uint64_t sum = std::accumulate(raw.begin(), raw.end(), uint64_t{0});
  const double scanSeconds = cpuSeconds() - cpu;
  if (sum == 0) report("decode_scan_checksum_zero", 0, "");  // keeps the scan

  // First decode into new result vectors, as a freshly opened capture dialog does.
  TexThread ex;
  const size_t heapBefore = heapBytes();
  Stopwatch wall;
  cpu = cpuSeconds();
  ex.startDecode(&raw);
  const double coldSeconds = cpuSeconds() - cpu;
  const double coldWall = wall.seconds();
  const size_t resultBytes = heapBytes() - heapBefore;

  size_t packets = 0;
  for (const auto& obj : *ex.objects) packets += obj->objType != otReset;

  // Again into the same vectors, as the library does for every later capture.
  cpu = cpuSeconds();
  ex.startDecode(&raw);
  const double warmSeconds = cpuSeconds() - cpu;

  const double mb = static_cast<double>(raw.size()) / 1e6;
  const double n = static_cast<double>(packets);
  report("decode_e2e_mbps", mb / coldSeconds, "MB/s");
  report("decode_e2e_warm_mbps", mb / warmSeconds, "MB/s");
  report("decode_e2e_wall_mbps", mb / coldWall, "MB/s");
  report("decode_packets_per_s", n / coldSeconds, "packets/s");
  report("decode_bytes_per_packet", static_cast<double>(resultBytes) / n, "B/packet");
  report("decode_e2e_scan_ratio", coldSeconds / scanSeconds, "x");
  report("decode_raw_bytes_per_packet", static_cast<double>(raw.size()) / n, "B/packet");
}
