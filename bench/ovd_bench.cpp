// Sample-file speed and size on a capture shaped like interrupt polling: one SOF
// per frame, mostly NAKed IN transactions, some with 8-byte reports. Saves and
// loads both use worker threads (deflate, inflate): their speed is what the
// user waits for, wall time, and beside it the processor time of the whole
// process, the figure that holds still on a shared machine.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "bench.h"
#include "decode/ovgroup.h"
#include "files/ovdataio.h"
#include "files/ovstatsload.h"

namespace {

double cpuSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

template <typename T>
std::shared_ptr<T> packet(uint32_t pid, uint64_t& time, int level, uint32_t bytes) {
  auto p = std::make_shared<T>();
  p->pid = pid;
  p->time = time;
  p->level = level;
  p->idle = 16 + (time % 5);
  time += 8 * bytes + 20;
  return p;
}

TobjVec pollingCapture(size_t packets) {
  TobjVec roots;
  uint64_t time = 0;
  size_t count = 0;
  for (uint32_t frame = 0; count < packets; ++frame) {
    time = frame * 12000ull;
    auto sof = packet<Tsof>(5, time, 0, 3);
    sof->frame = frame & 0x7ff;
    sof->crc5 = frame % 32;
    roots.push_back(sof);
    auto trx = std::make_shared<Ttransax>(TtrxType::IN);
    auto token = packet<Ttoken>(9, time, 1, 3);
    token->addr = 3;
    token->endp = 1;
    token->crc5 = 0x1d;
    trx->children.push_back(token);
    if (frame % 8 == 0) {
      auto report = packet<Tdata>(frame % 16 ? 3 : 11, time, 1, 11);
      report->data = {0, 0, static_cast<uint8_t>(frame), 0, 0, 0, 0, 0};
      report->crc16 = frame & 0xffff;
      trx->children.push_back(report);
      trx->children.push_back(packet<Thandshake>(2, time, 1, 1));
    } else {
      trx->children.push_back(packet<Thandshake>(10, time, 1, 1));
    }
    count += 1 + trx->children.size();
    roots.push_back(trx);
  }
  return roots;
}

}  // namespace

TWR_BENCH(ovd) {
  const size_t packets = options.quick ? 100000 : 1200000;
  // The objects the capture is made of are held until the end: freeing a
  // million of them would leave the heap's housekeeping to the timed save.
  const TobjVec roots = pollingCapture(packets);
  Tcapture rows;
  for (const TobjPtr& root : roots) rows.appendRoot(root);
  const std::string path = "/tmp/twr-bench-" + std::to_string(::getpid()) + ".ovd";

  TdataIO io;
  const Stopwatch wall;
  double start = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const int saved = io.saveLinearToFile(rows, path);
  const double saveCpuSeconds = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - start;
  const double saveSeconds = wall.seconds();
  if (saved != static_cast<int>(rows.rowCount())) {
    std::fprintf(stderr, "ovd: save failed: %s\n", io.lastError().c_str());
    return;
  }
  struct stat st {};
  stat(path.c_str(), &st);

  Tcapture loaded;
  const Stopwatch loadWall;
  start = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  io.loadLinearFile(path, loaded);
  const double loadCpuSeconds = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - start;
  const double loadSeconds = loadWall.seconds();
  // As twr stats does it: the file loaded and counted at once. On a shared
  // machine one run says little: the best of three, beside the best of three
  // loads alone, run in turns.
  double statsSeconds = 1e30, loadAloneSeconds = 1e30;
  TcaptureStats stats;
  for (int run = 0; run < 3; ++run) {
    Tcapture alone, counted;
    Tinput plain(path), counting(path);
    const Stopwatch aloneWall;
    io.loadLinearFile(plain, alone);
    loadAloneSeconds = std::min(loadAloneSeconds, aloneWall.seconds());
    const Stopwatch countedWall;
    loadCounted(counting, counted, io, stats);
    statsSeconds = std::min(statsSeconds, countedWall.seconds());
  }
  std::remove(path.c_str());
  if (loaded.rowCount() != rows.rowCount()) {
    std::fprintf(stderr, "ovd: load gave %zu rows of %zu\n", loaded.rowCount(), rows.rowCount());
    return;
  }
  const double count = static_cast<double>(rows.rowCount());
  report("ovd_save_rows_per_s", count / saveSeconds, "rows/s");
  report("ovd_save_cpu_rows_per_s", count / saveCpuSeconds, "rows/s");
  report("ovd_load_rows_per_s", count / loadSeconds, "rows/s");
  report("ovd_load_cpu_rows_per_s", count / loadCpuSeconds, "rows/s");
  report("ovd_bytes_per_row", static_cast<double>(st.st_size) / count, "bytes");
  report("stats_rows_per_s", count / statsSeconds, "rows/s");
  report("stats_load_alone_rows_per_s", count / loadAloneSeconds, "rows/s");
  if (stats.traffic.packets + stats.traffic.transactions() != count)
    std::fprintf(stderr, "ovd: the statistics do not count every row\n");
}
