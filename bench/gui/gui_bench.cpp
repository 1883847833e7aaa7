// The tree view on a big capture: what a user waits for when the data
// arrives, when a screen is painted, on a wheel step, a jump to the end and
// a filter toggle. Runs on a display (Xvfb will do).
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/sizer.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "../bench.h"
#include "decode/ovcapture.h"
#include "decode/ovgroup.h"
#include "decode/ovtree2lin.h"
#include "ovcaprun.h"
#include "ovdatapane.h"
#include "ovdecodepane.h"
#include "ovtreepane.h"

// Nothing here publishes the Capture topic.
wxWindow* openCaptureDialog(wxWindow*, TcaptureSink&) { return nullptr; }

namespace {

class TbenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

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
Tcapture synthCapture(long rows) {
  Tcapture capture;
  const long frames = rows * 9 / 10 / 9, idleSofs = rows / 10;
  uint64_t t = 0;
  for (long f = 0; f < frames; f++, t += 12000) {
    auto group = std::make_shared<TsofGroup>();
    group->children.push_back(packet(std::make_shared<Tsof>(), 5, t));
    capture.trees->push_back(group);
    auto nak = std::make_shared<Ttransax>(TtrxType::IN);
    nak->children = {packet(std::make_shared<Ttoken>(), 9, t + 100),
                     packet(std::make_shared<Thandshake>(), 10, t + 140)};
    capture.trees->push_back(nak);
    auto out = std::make_shared<Ttransax>(TtrxType::OUT);
    auto data = std::make_shared<Tdata>();
    data->data.assign(8, static_cast<uint8_t>(f));
    out->children = {packet(std::make_shared<Ttoken>(), 1, t + 300), packet(data, 3, t + 340),
                     packet(std::make_shared<Thandshake>(), 2, t + 500)};
    capture.trees->push_back(out);
  }
  auto idle = std::make_shared<TsofGroup>();
  for (long s = 0; s < idleSofs; s++, t += 12000)
    idle->children.push_back(packet(std::make_shared<Tsof>(), 5, t));
  capture.trees->push_back(idle);
  Ttree2lin(*capture.trees, *capture.rows);
  return capture;
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
  frame->SetSizer(sizer);
  frame->Show();
  for (int i = 0; i < 20; i++) wxTheApp->Yield(true);
  TreeMidPane& mid = tree->mid();
  TrowCache& cache = mid.cache();
  auto paint = [&] {
    mid.Refresh();
    mid.Update();
  };

  const long before = residentBytes();
  const long rows = options.quick ? 5'000'000 : 10'000'000;
  {
    Tcapture capture = synthCapture(rows);
    cache.showCapture(capture.trees, capture.rows);
  }
  report("gui_rows", static_cast<double>(cache.rowCount()), "rows");

  // Each figure is the median of several runs: the machine may be busy.
  median("gui_scroll_reset_ms", [&] {
    _G.pubSub.pub(topicVisRowsChanged, 0);
    paint();
  });
  report("gui_bytes_per_row", static_cast<double>(residentBytes() - before) / cache.rowCount(), "bytes");
  const auto emptyCache = [&] { cache.invalidateAll(); };
  median("gui_paint_cold_ms", emptyCache, paint);
  median("gui_paint_warm_ms", paint);
  report("gui_screen_lines", static_cast<double>(mid.lineRows().size()), "lines");

  // Ctrl+Shift: 125 visible rows on, across the hidden SOFs and NAKs.
  median("gui_wheel_step_ms", [&] {
    wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
    wheel.m_wheelRotation = -120;
    wheel.m_wheelDelta = 120;
    wheel.m_controlDown = wheel.m_shiftDown = true;
    mid.GetEventHandler()->ProcessEvent(wheel);
    paint();
  });

  // To the end, behind the idle stretch that every filter but the SOF one hides.
  const auto toTop = [&] { tree->bar().SetThumbPosition(0); };
  median("gui_jump_end_ms", toTop, [&] {
    tree->bar().SetThumbPosition(cache.rowCount() - 1);
    paint();
  });

  median("gui_filter_toggle_ms", [&] {
    _G.showSOFs = !_G.showSOFs;
    _G.pubSub.pub(topicVisRowsChanged, 0);
    paint();
  });

  // The hex dump of a 64 KB control transfer.
  const std::vector<uint8_t> bytes(65536, 0x5a);
  median("gui_dump_64k_ms", [&] { data->renderPacket(bytes); });

  frame->Destroy();
  wxTheApp->Yield(true);
  wxEntryCleanup();
}
