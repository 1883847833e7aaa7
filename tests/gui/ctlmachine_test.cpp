// The capture dialog's state machine, tick by tick and poll by poll, over a
// real capture thread: on the simulated sniffer, without hardware, and with the
// thread asleep so that a test can play its part exactly.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "allocfail.h"
#include "capture/ovctlmachine.h"
#include "decode/ovchain.h"
#include "device/simaccess.h"
#include "device/simhosttiming.h"
#include "device/simsniffer.h"
#include "hardware/ovlothrd.h"
#include "support/smalldisk.h"
#include "support/testfiles.h"
#include "support/waitfor.h"

using namespace std::chrono_literals;

namespace {

// What the window would show.
struct TfakeView : TctlView {
  void setStatusLine(const wxString& text) override { status = text; }
  void reportProblem(const wxString& text) override { problem = text; }
  void setIdLine(const wxString& text) override { id = text; }
  void showAcqProgress(const wxString& text, int percent) override { acqText = text, acqBar = percent; }
  void showDecProgress(const wxString& text, int) override { decText = text; }
  void applyButtons(const TbuttonStates& b) override {
    if (!b.apply) return;
    buttons = b;
    ok = ok || b.okOn;
  }
  wxString bufferField() const override { return field; }
  void setBufferField(const wxString& text) override { field = text; }

  wxString status, id, acqText, decText, field, problem;
  int acqBar = -1;
  TbuttonStates buttons;
  bool ok = false;
};

// What the main window would show.
struct TfakeSink : TcaptureSink {
  void captureStarted(const std::shared_ptr<Tcapture>& c) override {
    capture = c;
    ++started;
  }
  void captureProgress(std::size_t firstChanged, uint64_t bytes) override {
    EXPECT_LE(firstChanged, capture->rowCount());
    capturedBytes = bytes;
  }
  void captureEnded(bool kept, const std::string& cut) override {
    ended += kept ? "K" : "-";
    cutShort = cut;
  }
  void dialogClosed(bool ok) override { closed += ok ? "O" : "C"; }
  size_t rows() const { return capture->rowCount(); }

  std::shared_ptr<Tcapture> capture = std::make_shared<Tcapture>();
  int started = 0;
  uint64_t capturedBytes = 0;
  std::string ended, closed, cutShort;
};

std::function<uint64_t(const std::string&)> freeBytesOf(uint64_t bytes) {
  return [bytes](const std::string&) { return bytes; };
}

// The rows of the whole capture decoded at once.
size_t wholeRows(const TloThread& lo) {
  Tcapture whole;
  TdecodeChain(whole).takeRaw(lo.buffer.data(), lo.buffer.size(), true);
  return whole.rowCount();
}

struct Trig {
  explicit Trig(unsigned periodMs = 20) : lo(quickHostTiming(periodMs)) {}
  // Polls and ticks (faster than the dialog's timers) until done() or the limit.
  bool tickUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      machine.onTick();
      if (done()) return true;
      machine.onPoll();
      if (done()) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  bool reaches(int32_t state) {
    return tickUntil([&] { return machine.state() == state; });
  }
  void start(const char* kb) {
    view.field = kb;
    machine.pressStartStop();
    machine.onTick();
  }

  TloThread lo;
  TfakeView view;
  TfakeSink sink;
  TctlMachine machine{lo, view, sink, 67108864};
};

}  // namespace

TEST(CaptureDialogMachine, WithoutHardwareSaysSoAndNeverStarts) {
  Trig rig;
  rig.machine.pressStartStop();  // pressed before the first status
  rig.machine.onTick();
  EXPECT_EQ(rig.machine.state(), ctlNoHardware);
  EXPECT_EQ(rig.view.status, "Sniffer hardware not found");
  EXPECT_EQ(rig.view.id, "Hardware Serial: unavailable");
  EXPECT_FALSE(rig.view.buttons.start);
  EXPECT_FALSE(rig.lo.run);
}

TEST(CaptureDialogMachine, NamesTheUdevRuleUntilAccessIsGranted) {
  TsimConfig config = TsimConfig::quick();
  config.faults.insert(TsimFault::accessDenied);
  TsimSniffer sniffer(config);
  std::unique_ptr<Trig> rig;
  {
    // The capture thread opens the device as a user's program would, also when the tests run as root.
    TsimUserFileAccess asUser;
    rig = std::make_unique<Trig>();
  }
  ASSERT_TRUE(rig->tickUntil([&] { return rig->lo.hardwareStatus == TloThread::statusNoPermission; }));
  rig->machine.onTick();
  EXPECT_EQ(rig->machine.state(), ctlNoHardware);
  EXPECT_EQ(rig->view.status, "No permission to open the sniffer:\ninstall the udev rule 60-tracewren.rules");
  EXPECT_FALSE(rig->view.buttons.start);
  sniffer.setFault(TsimFault::accessDenied, false);
  EXPECT_TRUE(rig->reaches(ctlReady)) << rig->view.status;
}

TEST(CaptureDialogMachine, ShowsTheCaptureAsItRunsOnTheSimulatedSniffer) {
  TsimConfig config = TsimConfig::quick();
  config.pace = TsimPace::realtime;  // so that a Stop always comes before the buffer is full
  config.serial = "TWR-0815";
  TsimSniffer sniffer(config);
  Trig rig;
  ASSERT_TRUE(rig.reaches(ctlReady)) << rig.view.status;
  EXPECT_EQ(rig.view.status, "Hardware Initialized OK");
  EXPECT_EQ(rig.view.id, "Hardware Serial: TWR-0815");
  EXPECT_FALSE(rig.view.ok);

  // Rows reach the window while the capture runs, and OK can take them from the start.
  rig.start("0_008");
  EXPECT_EQ(rig.machine.state(), ctlAcquiring);
  EXPECT_EQ(rig.sink.started, 1);
  EXPECT_TRUE(rig.view.ok);
  EXPECT_EQ(rig.view.field, "8");
  EXPECT_EQ(rig.lo.buffer.capacity(), 8192u);
  ASSERT_TRUE(rig.tickUntil([&] { return rig.sink.rows() > 0; }));
  EXPECT_EQ(rig.machine.state(), ctlAcquiring);
  EXPECT_LT(rig.sink.capturedBytes, 8192u);
  ASSERT_TRUE(rig.reaches(ctlDecoded));
  EXPECT_EQ(rig.view.acqText, "8_192 Bytes");
  EXPECT_EQ(rig.view.acqBar, 100);
  EXPECT_EQ(rig.view.decText, "100%");
  EXPECT_EQ(rig.sink.ended, "K");
  EXPECT_EQ(rig.sink.capture->eventCount(), 0u);  // the window keeps the rows and roots only
  // Every captured byte was decoded: the rows are those of the whole capture.
  EXPECT_EQ(rig.sink.rows(), wholeRows(rig.lo));
  EXPECT_EQ(rig.sink.cutShort, "");
  ASSERT_TRUE(rig.reaches(ctlReady));

  // A disk that fills during a capture ends it: what it holds is decoded and kept, and the
  // dialog, the window and a box say why. The next capture, with room, is whole again.
  std::string ended = "K";
  TsmallDisk disk(1 << 20);
  if (disk.mounted()) {
    rig.lo.spoolDirectory = disk.path();
    rig.machine.freeBytes = freeBytesOf(uint64_t{1} << 40);  // the room there was at Start
    disk.fillUntil(200 << 10);
    rig.start("40000");
    ASSERT_TRUE(rig.reaches(ctlDecoded));
    const std::string why = disk.path() + ": No space left on device";
    EXPECT_EQ(rig.sink.cutShort, why);
    const wxString said = "No room left for the capture (" + why + "): it ended after " +
                          num2str(rig.lo.captureCount) + " Bytes, all kept and decoded";
    EXPECT_EQ(rig.view.status, said);
    EXPECT_EQ(rig.view.problem, said);
    EXPECT_EQ(rig.sink.rows(), wholeRows(rig.lo));
    EXPECT_GT(rig.sink.rows(), 100u);
    ended += "K";
    rig.lo.spoolDirectory.clear();
  }
  rig.start("8");
  ASSERT_TRUE(rig.reaches(ctlDecoded));
  EXPECT_EQ(rig.view.status, "Hardware Initialized OK");
  EXPECT_EQ(rig.lo.hardwareStatus, TloThread::statusReady);
  EXPECT_EQ(rig.sink.ended, ended + "K");
  EXPECT_EQ(rig.sink.cutShort, "");

  // The device drops after the decode, then comes back: the capture can still be taken.
  sniffer.unplug();
  ASSERT_TRUE(rig.reaches(ctlNoHardware));
  EXPECT_TRUE(rig.view.ok);
  sniffer.plug();
  ASSERT_TRUE(rig.reaches(ctlReady));
  EXPECT_TRUE(rig.view.ok);

  // Closing mid-capture ends the capture; the window keeps what it shows.
  rig.start("4096");
  ASSERT_TRUE(rig.tickUntil([&] { return rig.sink.rows() > 0; }));
  rig.machine.close(true);
  EXPECT_TRUE(waitFor([&] { return !rig.lo.captureBusy(); }, 2s));
  EXPECT_EQ(rig.sink.closed, "O");
  // (A capture stopped as soon as data flows is the user's, in gui-e2e-capture.)
}

// The capture thread sleeps for seconds after its first search for the
// device, so the test plays its part: it takes requests and reports done
// exactly when the test says.
TEST(CaptureDialogMachine, ActsOnlyOnItsOwnCaptureAndItsOwnStop) {
  Trig rig(1000);
  ASSERT_TRUE(rig.tickUntil([&] { return rig.lo.tickCount > 0; }));
  std::this_thread::sleep_for(300ms);  // its search ends within tens of milliseconds
  rig.machine.onTick();
  auto report = [&](int32_t status) {
    rig.lo.hardwareStatus = status;
    rig.lo.hardwareChanged = true;
    rig.machine.onTick();
  };
  auto finishCapture = [&](const std::string& bytes) {
    EXPECT_TRUE(rig.lo.run.exchange(false));
    ASSERT_TRUE(rig.lo.buffer.append(bytes.data(), bytes.size())) << "no more than the size asked for";
    rig.lo.captureCount = bytes.size();
    rig.lo.captureDone = true;
  };
  report(TloThread::statusReady);
  ASSERT_EQ(rig.machine.state(), ctlReady);
  EXPECT_EQ(rig.view.id, "Hardware Serial: " + rig.lo.serialCopy());

  // A size above the largest is refused, naming the largest, or the room the capture
  // directory has for a capture and its decode when that is less; nothing starts.
  const wxString dir = rig.lo.captureDirectory();
  const std::pair<uint64_t, const char*> limits[] = {
      {uint64_t{1} << 40, "4194304"}, {100 << 20, "20481"}, {19 << 10, "4"}, {19 << 10, "0"}};
  const wxString said[] = {"Buffer Size too large: at most 4_194_303 KBytes",
                           "Buffer Size too large: " + dir + " has room for at most 20_480 KBytes",
                           "No room for a capture: " + dir + " has 19 KBytes free",
                           "No room for a capture: " + dir + " has 19 KBytes free"};
  const wxString fieldAfter[] = {"4_194_303", "20_480", "4", "0"};
  for (size_t i = 0; i < std::size(limits); ++i) {
    rig.machine.freeBytes = freeBytesOf(limits[i].first);
    rig.start(limits[i].second);
    EXPECT_EQ(rig.machine.state(), ctlReady);
    EXPECT_FALSE(rig.lo.run);
    EXPECT_EQ(rig.view.field, fieldAfter[i]);
    EXPECT_EQ(rig.view.status, said[i]);
  }
  rig.machine.freeBytes = freeBytesOf(40 << 10);  // room for 8 KBytes exactly

  // Stop pressed in the tick in which the capture ends; bytes that make no row leave the
  // window with what it showed before.
  rig.start("8");
  rig.machine.pressStartStop();
  finishCapture(std::string(8192, 0));
  rig.machine.onTick();
  EXPECT_TRUE(rig.lo.stop);
  ASSERT_TRUE(rig.reaches(ctlReady));
  EXPECT_TRUE(rig.view.ok);
  EXPECT_EQ(rig.sink.ended, "-");

  // A decode that runs out of memory is reported in a box, and ends the capture; what was
  // shown before comes back.
  rig.start("8");
  finishCapture(readFile(TWR_TEST_DATA_DIR "/lib_replay.raw").substr(0, 8192));
  failAllocations(allocFailAnyThread, 1024);
  rig.machine.onPoll();
  failAllocations(allocFailNone, 0);
  EXPECT_EQ(rig.machine.state(), ctlReady);
  EXPECT_EQ(rig.view.problem, "Decoding failed: out of memory. The data decoded before is kept.");
  EXPECT_TRUE(rig.view.ok);
  EXPECT_EQ(rig.sink.ended, "--");

  // The next capture neither inherits that stop nor the last done flag.
  rig.start("8");
  EXPECT_FALSE(rig.lo.stop);
  EXPECT_TRUE(rig.lo.run);
  for (int i = 0; i < 3; ++i) rig.machine.onTick();
  EXPECT_EQ(rig.machine.state(), ctlAcquiring) << "done flag of the previous capture";

  // A lost device ends the display of a running capture; the pending press and the request
  // the thread has not taken go with it, so that no capture runs behind the dialog's back.
  rig.machine.pressStartStop();
  report(TloThread::statusNotFound);
  EXPECT_EQ(rig.machine.state(), ctlNoHardware);
  EXPECT_FALSE(rig.lo.run);
  EXPECT_EQ(rig.view.id, "Hardware Serial: " + rig.lo.serialCopy());
  report(TloThread::statusReady);
  rig.machine.onTick();
  EXPECT_EQ(rig.machine.state(), ctlReady);
  rig.machine.onPoll();
  EXPECT_EQ(rig.sink.ended, "---") << "the withdrawn capture made no row";

  // A request taken just before a change the dialog sees late: that capture is ended, and a
  // Start before its end is refused rather than emptying the buffer it writes.
  rig.start("8");
  rig.lo.run = false;
  rig.lo.state = TloThread::stateRun;
  rig.lo.buffer.append("abc", 3);
  report(TloThread::statusReady);
  EXPECT_EQ(rig.machine.state(), ctlReady);
  EXPECT_TRUE(rig.lo.stop);
  rig.start("8");
  EXPECT_EQ(rig.machine.state(), ctlReady);
  EXPECT_EQ(rig.view.status, "The last capture is still ending: press Start again");
  EXPECT_EQ(rig.lo.buffer.size(), 3u);
  rig.lo.state = TloThread::stateInit;
  rig.lo.captureDone = true;
  rig.machine.onPoll();
  rig.start("8");
  EXPECT_EQ(rig.machine.state(), ctlAcquiring);
  EXPECT_FALSE(rig.lo.stop);
}
