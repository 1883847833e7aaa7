// The whole decode pipeline, raw capture bytes to display rows, on a capture at
// full bus load.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "bench.h"
#include "busycapture.h"
#include "decode/ovexthrd.h"
#include "files/ovpcapexport.h"
#include "tshark.h"

namespace {

// CPU seconds of the whole process. The caller of startDecode sleeps in the
// join, so around a decode this is the decode thread's time on its one core,
// which holds still on a machine shared with other work; wall time does not.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// User and kernel processor time of the whole process, in seconds, and its
// page faults so far (first touches of fresh memory).
struct TcpuSplit {
  double user = 0;
  double kernel = 0;
  long faults = 0;
};

TcpuSplit cpuSplit() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
  return {seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_minflt};
}

double kernelShare(const TcpuSplit& before, const TcpuSplit& after) {
  const double kernel = after.kernel - before.kernel;
  return 100 * kernel / (kernel + after.user - before.user);
}

// Our decode's processor time over tshark's for the same packets, written as
// a pcap file by our exporter.
void compareWithTshark(const Tcapture& capture, double decodeSeconds) {
  const std::string path = "/tmp/twr-bench-" + std::to_string(getpid()) + "-tshark.pcap";
  TexportCounts counts;
  std::string error;
  if (!exportPcap(capture, path, {}, counts, error)) {
    std::fprintf(stderr, "pipeline: %s\n", error.c_str());
    return;
  }
  const double tsharkSeconds = tsharkCpuSeconds(path);
  std::remove(path.c_str());
  if (tsharkSeconds <= 0) {
    std::fprintf(stderr, "pipeline: no decode_vs_tshark_cpu: tshark is not on PATH or failed\n");
    return;
  }
  report("decode_vs_tshark_cpu", decodeSeconds / tsharkSeconds, "x");
}

}  // namespace

TWR_BENCH(pipeline) {
  const size_t minBytes = (options.quick ? 16u : 64u) << 20;
  const std::vector<uint8_t> raw = busyCapture(minBytes);

  double cpu = cpuSeconds();
  const uint64_t sum = std::accumulate(raw.begin(), raw.end(), uint64_t{0});
  const double scanSeconds = cpuSeconds() - cpu;
  if (sum == 0) report("decode_scan_checksum_zero", 0, "");  // keeps the scan

  // First decode into new result vectors, as a freshly opened capture dialog does.
  TexThread ex;
  const size_t heapBefore = heapBytes();
  const long anonBefore = anonBytes();
  Stopwatch wall;
  const TcpuSplit splitBefore = cpuSplit();
  cpu = cpuSeconds();
  ex.startDecode(&raw);
  const double coldSeconds = cpuSeconds() - cpu;
  const TcpuSplit splitAfter = cpuSplit();
  const double coldWall = wall.seconds();
  // Everything the decoded capture holds: heap and the store's files.
  const size_t resultBytes = heapBytes() - heapBefore + ex.capture->storeBytes();
  const long anonGrowth = anonBytes() - anonBefore;

  size_t packets = 0;
  for (size_t ix = 0; ix < ex.capture->busObjectCount(); ++ix)
    packets += ex.capture->busObject(ix)->objType != otReset;

  // Again into the same vectors, as the library does for every later capture;
  // the heap settles after a decode or two, so the best of three counts.
  double warmSeconds = 0;
  const TcpuSplit warmBefore = cpuSplit();
  for (int k = 0; k < 3; ++k) {
    cpu = cpuSeconds();
    ex.startDecode(&raw);
    const double seconds = cpuSeconds() - cpu;
    if (k == 0 || seconds < warmSeconds) warmSeconds = seconds;
  }
  const TcpuSplit warmAfter = cpuSplit();

  const double mb = static_cast<double>(raw.size()) / 1e6;
  const double n = static_cast<double>(packets);
  report("decode_e2e_mbps", mb / coldSeconds, "MB/s");
  report("decode_e2e_warm_mbps", mb / warmSeconds, "MB/s");
  report("decode_e2e_wall_mbps", mb / coldWall, "MB/s");
  report("decode_packets_per_s", n / coldSeconds, "packets/s");
  report("store_bytes_per_packet", static_cast<double>(resultBytes) / n, "B/packet");
  report("anon_bytes_per_packet", static_cast<double>(anonGrowth) / n, "B/packet");
  // Page faults on fresh memory and heap growth show up as kernel time.
  report("decode_kernel_share", kernelShare(splitBefore, splitAfter), "%");
  report("decode_warm_kernel_share", kernelShare(warmBefore, warmAfter), "%");
  report("decode_page_faults_per_packet", (splitAfter.faults - splitBefore.faults) / n, "faults/packet");
  report("decode_warm_page_faults_per_packet", (warmAfter.faults - warmBefore.faults) / 3 / n,
         "faults/packet");
  report("decode_e2e_scan_ratio", coldSeconds / scanSeconds, "x");
  report("decode_raw_bytes_per_packet", static_cast<double>(raw.size()) / n, "B/packet");
  compareWithTshark(*ex.capture, coldSeconds);
}
