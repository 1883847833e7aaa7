#include "find_bench.h"

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

double scanSeconds(const std::shared_ptr<const Tcapture>& capture, const TfindQuery& query) {
  Stopwatch watch;
  TfindScan scan(capture, query, 0, true);
  while (!scan.finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return watch.seconds();
}

}  // namespace

void findFigures(TreePane& tree, const std::function<void()>& paint) {
  TrowCache& cache = tree.mid().cache();
  // Text that is also a hex pattern: each row's boxes and bytes are read, none matches.
  const auto shown = cache.sharedCapture();
  const double seconds = scanSeconds(shown, parseFindQuery("12 01 00 02", false));
  report("gui_find_boxes_rows_per_s", static_cast<double>(shown->rowCount()) / seconds, "rows/s");

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
  const auto scrollFrame = [&] {
    Stopwatch paintWatch;
    tree.bar().SetThumbPosition(frame++ * 40 % (rows / 2));
    paint();
    const double ms = paintWatch.seconds() * 1000.0;
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
    return ms;
  };
  std::vector<double> alone, searching;
  for (int i = 0; i < 200; i++) alone.push_back(scrollFrame());
  Stopwatch watch;
  TfindScan scan(cache.sharedCapture(), parseFindQuery("endpoint is halted", true), 0, true);
  std::vector<int32_t> found;
  while (found.empty() && !scan.finished()) {
    searching.push_back(scrollFrame());
    scan.takeFound(found);
  }
  report("gui_find_decode_first_ms", watch.seconds() * 1000.0, "ms");
  report("gui_find_decode_match_row", found.empty() ? -1.0 : found.front(), "row");
  for (auto* ms : {&alone, &searching}) std::sort(ms->begin(), ms->end());
  report("gui_find_decode_paint_ms", searching[searching.size() * 99 / 100], "ms p99");
  report("gui_find_decode_paint_median_ms", searching[searching.size() / 2], "ms");
  report("gui_scroll_paint_ms", alone[alone.size() * 99 / 100], "ms p99");
  report("gui_scroll_paint_median_ms", alone[alone.size() / 2], "ms");
  _G.showSOFs = filters.showSOFs;
  _G.showNAKs = filters.showNAKs;
  _G.showPackets = filters.showPackets;
}
