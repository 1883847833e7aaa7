#include "find_bench.h"

#include <time.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "../bench.h"
#include "decode/ovgroup.h"
#include "ovfindscan.h"
#include "ovtreepane.h"

namespace {

std::shared_ptr<Tbase> packet(std::shared_ptr<TpacketBase> p, uint32_t pid, uint64_t time) {
  p->pid = pid;
  p->time = time;
  return p;
}

// Frames of a SOF and a NAKed IN (5 rows each); the IN of the frame at row `stallAt` is
// STALLed instead.
std::shared_ptr<Tcapture> stallAhead(long rows, long stallAt) {
  auto capture = std::make_shared<Tcapture>();
  uint64_t t = 0;
  for (long f = 0; f < rows / 5; f++, t += 12000) {
    auto group = std::make_shared<TsofGroup>();
    group->children.push_back(packet(std::make_shared<Tsof>(), pidSof, t));
    capture->appendRoot(group);
    auto in = std::make_shared<Ttransax>(TtrxType::IN);
    in->children = {packet(std::make_shared<Ttoken>(), pidIn, t + 100),
                    packet(std::make_shared<Thandshake>(), f == stallAt / 5 ? pidStall : pidNak, t + 140)};
    capture->appendRoot(in);
  }
  return capture;
}

double cpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The wall time of a search, and the processor time its threads took (the waiting thread's
// is next to none), which a busy machine does not stretch.
void scanSeconds(const std::shared_ptr<const Tcapture>& capture, const TfindQuery& query, double& wall,
                 double& cpu) {
  Stopwatch watch;
  const double cpuBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  {
    TfindScan scan(capture, query, 0, true);
    while (!scan.finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    wall = watch.seconds();
  }
  cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
}

}  // namespace

void findFigures(TreePane& tree, const std::function<void()>& paint) {
  TrowCache& cache = tree.mid().cache();
  // Text that is also a hex pattern: each row's boxes and bytes are read, none matches.
  const auto shown = cache.sharedCapture();
  double wall = 0, cpu = 0;
  scanSeconds(shown, parseFindQuery("12 01 00 02", false), wall, cpu);
  report("gui_find_boxes_rows_per_s", static_cast<double>(shown->rowCount()) / wall, "rows/s");
  report("gui_find_boxes_cpu_rows_per_s", static_cast<double>(shown->rowCount()) / cpu, "rows/cpu-s");

  // The decode scripts' "STALL: the endpoint is halted", a million rows on. The view scrolls at
  // every frame meanwhile, 40 rows on, and the same scrolling with no search is the yardstick.
  const long rows = 1'200'000, stallAt = 1'000'000;
  // Every row shown, so that each frame draws a screen of new rows.
  const TdisplFilters filters{_G.showSOFs, _G.showNAKs, _G.showPackets, {}};
  _G.showSOFs = _G.showNAKs = _G.showPackets = true;
  cache.showCapture(stallAhead(rows, stallAt));
  _G.pubSub.pub(topicVisRowsChanged, 0);
  paint();
  int frame = 0;
  // Each frame's wall time, and the processor time the window's thread took for it.
  std::vector<double> alone, searching, aloneCpu, searchingCpu;
  const auto scrollFrame = [&](std::vector<double>& ms, std::vector<double>& cpuMs) {
    Stopwatch paintWatch;
    const double cpuBefore = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    tree.bar().SetThumbPosition(frame++ * 40 % (rows / 2));
    paint();
    ms.push_back(paintWatch.seconds() * 1000.0);
    cpuMs.push_back((cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuBefore) * 1000.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  };
  for (int i = 0; i < 200; i++) scrollFrame(alone, aloneCpu);
  Stopwatch watch;
  TfindScan scan(cache.sharedCapture(), parseFindQuery("endpoint is halted", true), 0, true);
  std::vector<int32_t> found;
  while (found.empty() && !scan.finished()) {
    scrollFrame(searching, searchingCpu);
    scan.takeFound(found);
  }
  report("gui_find_decode_first_ms", watch.seconds() * 1000.0, "ms");
  report("gui_find_decode_match_row", found.empty() ? -1.0 : found.front(), "row");
  for (auto* ms : {&alone, &searching, &aloneCpu, &searchingCpu}) std::sort(ms->begin(), ms->end());
  report("gui_find_decode_paint_ms", searching[searching.size() * 99 / 100], "ms p99");
  report("gui_find_decode_paint_median_ms", searching[searching.size() / 2], "ms");
  report("gui_find_decode_paint_cpu_ms", searchingCpu[searchingCpu.size() * 99 / 100], "ms p99");
  report("gui_scroll_paint_ms", alone[alone.size() * 99 / 100], "ms p99");
  report("gui_scroll_paint_median_ms", alone[alone.size() / 2], "ms");
  report("gui_scroll_paint_cpu_ms", aloneCpu[aloneCpu.size() * 99 / 100], "ms p99");
  _G.showSOFs = filters.showSOFs;
  _G.showNAKs = filters.showNAKs;
  _G.showPackets = filters.showPackets;
}
