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
  void captureEnded(bool kept) override { ended += kept ? "K" : "-"; }
  void dialogClosed(bool ok) override { closed += ok ? "O" : "C"; }
  size_t rows() const { return capture->rowCount(); }

  std::shared_ptr<Tcapture> capture = std::make_shared<Tcapture>();
  int started = 0;
  uint64_t capturedBytes = 0;
  std::string ended, closed;
};

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
  EXPECT_EQ(rig.lo.buffer.size(), TloThread::bufferBytes(8192));
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
  Tcapture whole;
  const std::vector<uint8_t>& raw = rig.lo.takeCapture();
  TdecodeChain(whole).takeRaw(raw.data(), raw.size(), true);
  EXPECT_EQ(rig.sink.rows(), whole.rowCount());
  const size_t rows = rig.sink.rows();
  ASSERT_TRUE(rig.reaches(ctlReady));

  // A buffer larger than memory allows: said so, nothing shown instead of the last capture,
  // and a smaller buffer can be tried at once.
  failAllocations(allocFailAnyThread, 16 << 20);
  rig.start("40000");
  const bool refused = rig.reaches(ctlReady);
  failAllocations(allocFailNone, 0);
  ASSERT_TRUE(refused);
  EXPECT_EQ(rig.view.status, "Memory allocation failed");
  EXPECT_EQ(rig.lo.hardwareStatus, TloThread::statusNoMemory);
  EXPECT_EQ(rig.sink.started, 1);
  EXPECT_EQ(rig.sink.rows(), rows);
  rig.start("8");
  ASSERT_TRUE(rig.reaches(ctlDecoded));
  EXPECT_EQ(rig.view.status, "Hardware Initialized OK");
  EXPECT_EQ(rig.lo.hardwareStatus, TloThread::statusReady);
  EXPECT_EQ(rig.sink.ended, "KK");

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
    rig.lo.buffer.assign(TloThread::headBytes, 0);
    rig.lo.buffer.insert(rig.lo.buffer.end(), bytes.begin(), bytes.end());
    rig.lo.captureCount = bytes.size();
    rig.lo.captureDone = true;
  };
  report(TloThread::statusReady);
  ASSERT_EQ(rig.machine.state(), ctlReady);
  EXPECT_EQ(rig.view.id, "Hardware Serial: " + rig.lo.serialCopy());

  // A size above the largest is refused, naming the largest; nothing starts.
  const wxString largest = num2str(largestBufferKB(67108864));
  rig.start("4194304");
  EXPECT_EQ(rig.machine.state(), ctlReady);
  EXPECT_FALSE(rig.lo.run);
  EXPECT_EQ(rig.view.field, largest);
  EXPECT_EQ(rig.view.status, "Buffer Size too large: at most " + largest + " KBytes");

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
  finishCapture(readFile(TWR_TEST_DATA_DIR "/lib_replay.raw"));
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
  report(TloThread::statusReady);
  EXPECT_EQ(rig.machine.state(), ctlReady);
  EXPECT_TRUE(rig.lo.stop);
  rig.start("8");
  EXPECT_EQ(rig.machine.state(), ctlReady);
  EXPECT_EQ(rig.view.status, "The last capture is still ending: press Start again");
  EXPECT_EQ(rig.lo.buffer.size(), TloThread::bufferBytes(8192));
  rig.lo.state = TloThread::stateInit;
  rig.lo.captureDone = true;
  rig.machine.onPoll();
  rig.start("8");
  EXPECT_EQ(rig.machine.state(), ctlAcquiring);
  EXPECT_FALSE(rig.lo.stop);
}
