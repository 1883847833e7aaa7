// The tree view on a big capture: what a user waits for when the data
// arrives, when a screen is painted, on a wheel step, a jump to the end and
// a filter toggle; and a frame while a capture arrives at the device's full
// rate, and what drawing its new rows costs. Runs on a display (Xvfb will do).
#include <malloc.h>
#include <sys/statvfs.h>
#include <time.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/sizer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../bench.h"
#include "../busycapture.h"
#include "decode/ovcapture.h"
#include "decode/ovchain.h"
#include "decode/ovexthrd.h"
#include "decode/ovgroup.h"
#include "find_bench.h"
#include "ovcaprun.h"
#include "ovcontroller.h"
#include "ovdatapane.h"
#include "ovdecodepane.h"
#include "ovstatusbar.h"
#include "ovtimelinestrip.h"
#include "ovtreepane.h"

namespace {

// The bench plays the capture dialog's part.
TcaptureSink* dialogSink = nullptr;

}  // namespace

wxWindow* openCaptureDialog(wxWindow*, TcaptureSink& sink) {
  dialogSink = &sink;
  return nullptr;
}

namespace {

class TbenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096L;
}

std::shared_ptr<Tbase> packet(std::shared_ptr<TpacketBase> p, uint32_t pid, uint64_t time) {
  p->pid = pid;
  p->time = time;
  return p;
}

// Frames of one SOF, a NAKed IN and an acknowledged OUT with 8 data bytes (9
// rows each), then an idle tail of SOFs only, as a capture left running ends.
std::shared_ptr<Tcapture> synthCapture(long rows) {
  auto made = std::make_shared<Tcapture>();
  Tcapture& capture = *made;
  const long frames = rows * 9 / 10 / 9, idleSofs = rows / 10;
  uint64_t t = 0;
  for (long f = 0; f < frames; f++, t += 12000) {
    auto group = std::make_shared<TsofGroup>();
    group->children.push_back(packet(std::make_shared<Tsof>(), 5, t));
    capture.appendRoot(group);
    auto nak = std::make_shared<Ttransax>(TtrxType::IN);
    nak->children = {packet(std::make_shared<Ttoken>(), 9, t + 100),
                     packet(std::make_shared<Thandshake>(), 10, t + 140)};
    capture.appendRoot(nak);
    auto out = std::make_shared<Ttransax>(TtrxType::OUT);
    auto data = std::make_shared<Tdata>();
    data->data.assign(8, static_cast<uint8_t>(f));
    out->children = {packet(std::make_shared<Ttoken>(), 1, t + 300), packet(data, 3, t + 340),
                     packet(std::make_shared<Thandshake>(), 2, t + 500)};
    capture.appendRoot(out);
  }
  auto idle = std::make_shared<TsofGroup>();
  for (long s = 0; s < idleSofs; s++, t += 12000)
    idle->children.push_back(packet(std::make_shared<Tsof>(), 5, t));
  capture.appendRoot(idle);
  return made;
}

// Reports the median of five timed runs of `run`, each after an untimed `prepare`.
template <class Tprepare, class Trun>
void median(const std::string& name, Tprepare prepare, Trun run) {
  std::vector<double> ms;
  for (int i = 0; i < 5; i++) {
    prepare();
    Stopwatch watch;
    run();
    ms.push_back(watch.seconds() * 1000.0);
  }
  std::sort(ms.begin(), ms.end());
  report(name, ms[2], "ms");
}

template <class Trun>
void median(const std::string& name, Trun run) {
  median(
      name, [] {}, run);
}

// The bench stream decoded as the capture dialog decodes it, one poll's bytes of the device's
// full rate every poll period. Its last quarter is timed: from the rows reaching the view to
// the screen painted, with the view following the end of a capture of a million rows. Also
// the processor time of that, which a busy machine does not stretch.
template <class Tpaint>
void liveFrames(const BenchOptions& options, Tpaint paint) {
  constexpr auto pollPeriod = std::chrono::milliseconds(25);
  constexpr size_t pollBytes = 2'000'000 / 40;  // 2 MB/s
  const std::vector<uint8_t> raw = busyCapture(options.quick ? (8u << 20) : (32u << 20));
  _G.pubSub.pub(topicDoCapture, 0);
  const auto capture = std::make_shared<Tcapture>();
  TdecodeChain chain(*capture);
  dialogSink->captureStarted(capture);
  std::vector<double> ms, cpuMs;
  auto next = std::chrono::steady_clock::now();
  for (size_t available = 0; available < raw.size();) {
    available = std::min(raw.size(), available + pollBytes);
    chain.takeRaw(raw.data(), available, available == raw.size());
    if (available < raw.size() / 4 * 3) {
      dialogSink->captureProgress(chain.firstChangedRow(), available);
      continue;
    }
    std::this_thread::sleep_until(next += pollPeriod);
    Stopwatch watch;
    const double cpu = threadCpuSeconds();
    dialogSink->captureProgress(chain.firstChangedRow(), available);
    paint();
    ms.push_back(watch.seconds() * 1000.0);
    cpuMs.push_back((threadCpuSeconds() - cpu) * 1000.0);
    next = std::max(next, std::chrono::steady_clock::now());
  }
  dialogSink->captureEnded(true, "");
  dialogSink->dialogClosed(true);
  std::sort(ms.begin(), ms.end());
  std::sort(cpuMs.begin(), cpuMs.end());
  report("gui_live_frame_ms", ms[ms.size() * 99 / 100], "ms p99");
  report("gui_live_frame_median_ms", ms[ms.size() / 2], "ms");
  report("gui_live_frame_cpu_ms", cpuMs[cpuMs.size() * 99 / 100], "ms p99");
  report("gui_live_rows", static_cast<double>(capture->rowCount()), "rows");
}

// Rows drawn one after another with none kept, then screens of rows not drawn before as the
// view pages on: a live frame's drawing without its wait for data. Processor time, which a
// busy machine does not stretch; the median of five runs.
template <class Tpaint>
void newRows(TrowCache& cache, TreeScrollBarPane& bar, int width, Tpaint paint) {
  constexpr int rows = 10000, screens = 50;
  std::vector<double> rowUs, screenMs;
  for (int run = 0; run < 5; run++) {
    cache.invalidateAll();
    double cpu = threadCpuSeconds();
    int drawn = 0;
    for (int ix = run * rows; ix < (run + 1) * rows; ix++) {
      if (!cache.isVisible(ix)) continue;
      int w = 0, h = 0;
      cache.getRowBitmap(ix, width, w, h);
      drawn++;
    }
    rowUs.push_back((threadCpuSeconds() - cpu) * 1e6 / std::max(drawn, 1));
    cpu = threadCpuSeconds();
    for (int s = 0; s < screens; s++) {
      bar.SetThumbPosition(5 * rows + (run * screens + s) * 60);
      paint();
    }
    screenMs.push_back((threadCpuSeconds() - cpu) * 1e3 / screens);
  }
  std::sort(rowUs.begin(), rowUs.end());
  std::sort(screenMs.begin(), screenMs.end());
  report("gui_new_row_cpu_us", rowUs[2], "us");
  report("gui_new_screen_cpu_ms", screenMs[2], "ms");
}

// What a user waits for on a capture already painted once: a screen painted again, a wheel
// step, a jump to the end and a filter toggle. Names start with `prefix`.
template <class Tpaint>
void viewFigures(const std::string& prefix, TreePane& tree, Tpaint paint) {
  TreeMidPane& mid = tree.mid();
  median(prefix + "paint_warm_ms", paint);

  // Ctrl+Shift: 125 visible rows on, across the hidden SOFs and NAKs.
  median(prefix + "wheel_step_ms", [&] {
    wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
    wheel.m_wheelRotation = -120;
    wheel.m_wheelDelta = 120;
    wheel.m_controlDown = wheel.m_shiftDown = true;
    mid.GetEventHandler()->ProcessEvent(wheel);
    paint();
  });

  // To the end, behind the idle stretch that every filter but the SOF one hides.
  const auto toTop = [&] { tree.bar().SetThumbPosition(0); };
  median(prefix + "jump_end_ms", toTop, [&] {
    tree.bar().SetThumbPosition(mid.cache().rowCount() - 1);
    paint();
  });

  median(prefix + "filter_toggle_ms", [&] {
    _G.showSOFs = !_G.showSOFs;
    _G.pubSub.pub(topicVisRowsChanged, 0);
    paint();
  });
}

// Decodes `raw` as a capture file is decoded, shows it in the tree view and paints it; reports
// the anonymous memory that added per packet (the raw bytes excluded), that of the decode alone,
// the heap's blocks in use, and with `decodeFigures` the decode's speed. Names start with `prefix`.
template <class Tpaint>
void decodeAndShow(const std::vector<uint8_t>& raw, TreePane& tree, Tpaint paint, const std::string& prefix,
                   bool decodeFigures) {
  malloc_trim(0);  // the heap freed by earlier cases must not hide this one's growth
  const long anonBefore = anonBytes();
  const size_t heapBefore = heapBytes();
  TexThread ex;
  Stopwatch wall;
  const double cpu = processCpuSeconds();
  ex.startDecode(&raw);
  const double cpuSeconds = processCpuSeconds() - cpu, wallSeconds = wall.seconds();
  const long anonDecoded = anonBytes() - anonBefore;
  tree.mid().cache().showCapture(ex.capture);
  _G.pubSub.pub(topicVisRowsChanged, 0);
  paint();
  const long anonShown = anonBytes() - anonBefore;
  const double heapShown = static_cast<double>(heapBytes()) - static_cast<double>(heapBefore);
  // What the heap keeps of blocks freed on the way (vectors grown by copying): the tuned heap
  // gives freed memory back only when asked.
  malloc_trim(0);
  const long anonTrimmed = anonBytes() - anonBefore;

  size_t packets = 0;
  for (size_t ix = 0; ix < ex.capture->busObjectCount(); ++ix)
    packets += ex.capture->busObject(ix)->objType != otReset;
  const double n = static_cast<double>(packets);
  report(prefix + "anon_bytes_per_packet", static_cast<double>(anonShown) / n, "B/packet");
  report(prefix + "anon_decoded_bytes_per_packet", static_cast<double>(anonDecoded) / n, "B/packet");
  report(prefix + "heap_bytes_per_packet", heapShown / n, "B/packet");
  report(prefix + "anon_trimmed_bytes_per_packet", static_cast<double>(anonTrimmed) / n, "B/packet");
  report(prefix + "rows_per_packet", static_cast<double>(ex.capture->rowCount()) / n, "rows");
  if (!ex.capture->storeError().empty()) std::fprintf(stderr, "gui: %s\n", ex.capture->storeError().c_str());
  if (!decodeFigures) return;
  const double mb = static_cast<double>(raw.size()) / 1e6;
  report(prefix + "packets", n, "packets");
  report(prefix + "decode_mbps", mb / cpuSeconds, "MB/s");
  report(prefix + "decode_wall_mbps", mb / wallSeconds, "MB/s");
}

// The timeline strip over the shown capture, painted at zooms from the whole capture down to
// single frames, at places across it: the p99 of those paints. Names start with `prefix`.
void timelineFigures(const std::string& prefix, TimelineStrip& strip) {
  TtimelineView& view = strip.view();
  const auto paint = [&] {
    strip.Refresh();
    strip.Update();
  };
  paint();
  std::vector<double> ms, cpuMs;
  for (int notches = 0; notches <= 60; notches += 3) {
    for (const double at : {0.05, 0.5, 0.95}) {
      view.showAll();
      view.zoom(at * view.pixels(), notches);
      Stopwatch watch;
      const double cpu = threadCpuSeconds();
      paint();
      ms.push_back(watch.seconds() * 1000.0);
      cpuMs.push_back((threadCpuSeconds() - cpu) * 1000.0);
    }
  }
  view.showAll();
  std::sort(ms.begin(), ms.end());
  std::sort(cpuMs.begin(), cpuMs.end());
  report(prefix + "timeline_paint_ms", ms[ms.size() * 99 / 100], "ms p99");
  report(prefix + "timeline_paint_median_ms", ms[ms.size() / 2], "ms");
  report(prefix + "timeline_paint_cpu_ms", cpuMs[cpuMs.size() * 99 / 100], "ms p99");
  report(prefix + "timeline_frames", static_cast<double>(strip.view().frameSpan()), "frames");
}

// A decoded capture of about 5 M rows shown, and the rows of its first token's device asked for:
// every row read again for its device, and the screen painted.
template <class Tpaint>
void deviceFilter(const BenchOptions& options, TreePane& tree, TimelineStrip& strip, Tpaint paint) {
  TexThread ex;
  {
    const std::vector<uint8_t> raw = busyCapture(options.quick ? (40u << 20) : (150u << 20));
    ex.startDecode(&raw);
  }
  const Tcapture& capture = *ex.capture;
  tree.mid().cache().showCapture(ex.capture);
  _G.pubSub.pub(topicVisRowsChanged, 0);
  paint();
  timelineFigures("gui_", strip);
  std::size_t token = 0;
  while (token < capture.rowCount() && capture.rowType(token) != otToken) ++token;
  uint32_t addr = 0, endp = 0;
  if (token < capture.rowCount()) capture.rowTokenTarget(token, addr, endp);
  const auto apply = [&](int address) {
    _G.rowFilter.address = address;
    _G.pubSub.pub(topicVisRowsChanged, 0);
    paint();
  };
  median(
      "gui_filter_device_ms", [&] { apply(-1); }, [&] { apply(static_cast<int>(addr)); });
  report("gui_filter_device_rows", static_cast<double>(capture.rowCount()), "rows");
  report("gui_filter_device_shown", tree.mid().cache().visibleRowCount(), "rows");
  apply(-1);
}

// Bytes free where the store's files go.
double tmpFreeBytes() {
  const char* dir = std::getenv("TMPDIR");
  struct statvfs fs {};
  if (statvfs(dir && *dir ? dir : "/tmp", &fs) != 0) return 0;
  return static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize);
}

// A 1 GiB capture of the bench stream, decoded into the store, shown, and the view's figures on it.
template <class Tpaint>
void largeCapture(TreePane& tree, TimelineStrip& strip, Tpaint paint) {
  constexpr size_t rawBytes = size_t{1} << 30;
  const double free = tmpFreeBytes();
  if (free < 1.5e9) {
    std::printf("gui_large skipped: %.2f GB free in $TMPDIR, 1.5 GB needed\n", free / 1e9);
    return;
  }
  {
    const std::vector<uint8_t> raw = busyCapture(rawBytes);
    decodeAndShow(raw, tree, paint, "gui_large_", true);
  }
  paint();
  viewFigures("gui_large_", tree, paint);
  timelineFigures("gui_large_", strip);
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(TbenchApp);

TWR_BENCH(gui) {
  int argc = 1;
  char name[] = "tracewren-bench";
  char* argv[] = {name, nullptr};
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    report("gui_no_display", 1, "flag");
    return;
  }
  auto* frame = new wxFrame(nullptr, wxID_ANY, "bench", wxDefaultPosition, wxSize(1200, 1000));
  auto* decode = new TdecodePane(frame);
  auto* data = new TdataPane(frame);
  auto* tree = new TreePane(frame, *data, *decode);
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->Add(tree, 3, wxEXPAND);
  sizer->Add(decode, 1, wxEXPAND);
  sizer->Add(data, 1, wxEXPAND);
  auto* column = new wxBoxSizer(wxVERTICAL);
  auto* strip = new TimelineStrip(frame, tree->mid());
  column->Add(strip, 0, wxEXPAND);
  column->Add(sizer, 1, wxEXPAND);
  column->Add(new TstatusBar(frame), 0, wxEXPAND);
  frame->SetSizer(column);
  frame->Show();
  for (int i = 0; i < 20; i++) wxTheApp->Yield(true);
  TreeMidPane& mid = tree->mid();
  TrowCache& cache = mid.cache();
  auto controller = std::make_unique<Tcontroller>(mid, [] {});
  auto paint = [&] {
    mid.Refresh();
    mid.Update();
  };

  const long before = residentBytes();
  const long rows = options.quick ? 5'000'000 : 10'000'000;
  cache.showCapture(synthCapture(rows));
  report("gui_rows", static_cast<double>(cache.rowCount()), "rows");

  // Each figure is the median of several runs: the machine may be busy.
  median("gui_scroll_reset_ms", [&] {
    _G.pubSub.pub(topicVisRowsChanged, 0);
    paint();
  });
  report("gui_bytes_per_row", static_cast<double>(residentBytes() - before) / cache.rowCount(), "bytes");
  const auto emptyCache = [&] { cache.invalidateAll(); };
  median("gui_paint_cold_ms", emptyCache, paint);
  viewFigures("gui_", *tree, paint);
  report("gui_screen_lines", static_cast<double>(mid.lineRows().size()), "lines");
  if (options.find) findFigures(*tree, paint);

  // The hex dump of a 64 KB control transfer.
  const std::vector<uint8_t> bytes(65536, 0x5a);
  median("gui_dump_64k_ms", [&] { data->renderPacket(bytes); });

  // The capture shown so far is held until its end. What else the frame makes the window do
  // (the status bar's labels) is done in it too.
  const auto frameWork = [&] {
    paint();
    wxTheApp->Yield(true);
  };
  liveFrames(options, frameWork);
  // The live capture, now shown.
  newRows(cache, tree->bar(), mid.GetClientSize().x, frameWork);

  decodeAndShow(busyCapture(options.quick ? (16u << 20) : (64u << 20)), *tree, paint, "gui_", false);
  deviceFilter(options, *tree, *strip, paint);
  if (options.large) largeCapture(*tree, *strip, paint);

  controller.reset();
  frame->Destroy();
  wxTheApp->Yield(true);
  wxEntryCleanup();
}
