// A capture decoded while it arrives: the capture thread's blocks at the
// device's full rate, taken by a poller as the GUI's timer takes them.
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "bench.h"
#include "busycapture.h"
#include "decode/ovchain.h"

namespace {

using Tclock = std::chrono::steady_clock;

constexpr size_t blockBytes = 4096;           // the capture thread's reads
constexpr double deviceBytesPerSecond = 2e6;  // a busy full-speed bus
constexpr auto pollPeriod = std::chrono::milliseconds(20);

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

TWR_BENCH(live) {
  const std::vector<uint8_t> source = busyCapture(options.quick ? (4u << 20) : (16u << 20));
  const size_t blocks = (source.size() + blockBytes - 1) / blockBytes;
  // Sized before the run, as the capture thread's buffer is: the poller reads
  // what the writer has published while the writer fills what follows.
  std::vector<uint8_t> buffer(source.size());
  std::vector<Tclock::time_point> arrived(blocks);
  std::atomic<size_t> published{0};
  const Tclock::time_point start = Tclock::now();
  std::thread writer([&] {
    for (size_t b = 0; b < blocks; ++b) {
      std::this_thread::sleep_until(
          start + std::chrono::duration<double>((b + 1) * blockBytes / deviceBytesPerSecond));
      const size_t end = std::min(source.size(), (b + 1) * blockBytes);
      std::copy(source.begin() + b * blockBytes, source.begin() + end, buffer.begin() + b * blockBytes);
      arrived[b] = Tclock::now();
      published.store(end, std::memory_order_release);
    }
  });

  Tcapture capture;
  TdecodeChain chain(capture);
  std::vector<double> latencies;
  double cpu = 0;
  for (size_t done = 0, seen = 0; done < source.size();) {
    std::this_thread::sleep_for(pollPeriod);
    const size_t available = published.load(std::memory_order_acquire);
    const double before = threadCpuSeconds();
    chain.takeRaw(buffer.data(), available, available == source.size());
    cpu += threadCpuSeconds() - before;
    const Tclock::time_point now = Tclock::now();
    // A block's rows are in the model once the chain has read past it.
    for (; seen < available / blockBytes && (seen + 1) * blockBytes <= chain.rawPosition() + blockBytes;
         ++seen)
      latencies.push_back(std::chrono::duration<double, std::milli>(now - arrived[seen]).count());
    done = available;
  }
  writer.join();
  const double busSeconds = static_cast<double>(source.size()) / deviceBytesPerSecond;
  std::sort(latencies.begin(), latencies.end());
  report("live_row_latency_ms", latencies.empty() ? 0 : latencies[latencies.size() * 99 / 100], "ms p99");
  report("live_decode_core_share", cpu / busSeconds, "of one core");
  report("live_rows", static_cast<double>(capture.rowCount()), "rows");
}
