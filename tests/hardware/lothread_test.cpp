// The capture thread against the simulated sniffer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "allocfail.h"
#include "decode/ovexthrd.h"
#include "files/ovdataio.h"
#include "hardware/ovlivedecode.h"
#include "hardware/ovlothrd.h"
#include "hwsupport.h"

using namespace std::chrono_literals;

namespace {

const std::string streamMagic = "ORLAVEX.";

struct Trig {
  explicit Trig(const TsimConfig& config = TsimConfig::quick()) : sniffer(config) { wirelog::clear(); }
  void start() { lo = std::make_unique<TloThread>(quickHostTiming()); }
  bool ready() { return threadReady(*lo); }
  TloThread::Trequest runFor(uint64_t bytes) { return lo->requestCapture(bytes); }
  bool captured() {
    return waitFor([&] { return lo->captureDone.load(); });
  }
  // A run ended with all of its bytes, the stream's header first.
  void expectWhole(size_t bytes) {
    ASSERT_TRUE(captured());
    EXPECT_EQ(lo->captureCount, bytes);
    const std::vector<uint8_t>& buffer = lo->takeCapture();
    EXPECT_EQ(buffer.size(), bytes);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + streamMagic.size()), streamMagic);
  }

  TsimSniffer sniffer;
  std::unique_ptr<TloThread> lo;
};

}  // namespace

TEST(CaptureThread, BringsTheDeviceUpCapturesAndStops) {
  TsimConfig config = TsimConfig::quick();
  config.serial = "TWR-0042";
  Trig rig(config);
  rig.start();
  TloThread& lo = *rig.lo;
  ASSERT_TRUE(rig.ready());
  EXPECT_TRUE(lo.hardwareChanged.exchange(false));
  const TloThread::TdeviceTexts texts = lo.deviceTextsCopy();
  EXPECT_EQ(texts.serial, "TWR-0042");
  EXPECT_NE(texts.fxString0, "?");
  EXPECT_FALSE(texts.fpgaString.empty());
  EXPECT_TRUE(rig.sniffer.status().fpgaHoldsEmbeddedImage) << "the stale FPGA image is replaced at bring-up";

  // 8192 bytes: 10240 are read, the first 2048 dropped; the stream then starts with its header.
  rig.runFor(8192);
  rig.expectWhole(8192);
  for (const auto& r : wirelog::reads()) EXPECT_TRUE(r.endpoint == 0x86 && r.length <= 4096);

  // Sizes are taken in whole kilobytes.
  rig.runFor(10000);
  rig.expectWhole(9216);

  // A stop raised while idle waits for the next capture and ends it before its first read.
  lo.stop = true;
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(lo.stop);
  wirelog::clear();
  rig.runFor(8192);
  ASSERT_TRUE(rig.captured());
  EXPECT_FALSE(lo.stop);
  EXPECT_EQ(lo.captureCount, 0u);
  EXPECT_TRUE(wirelog::reads().empty());

  // The next run is whole again.
  rig.runFor(8192);
  rig.expectWhole(8192);

  // The largest size: its buffer of 4 GiB and the head is sized in 64 bits (without the
  // memory for it, the run says so rather than reading into a wrapped 1 KiB).
  EXPECT_EQ(TloThread::largestCaptureFor(uint64_t{1} << 40), 0xFFFFFC00u);
  EXPECT_EQ(TloThread::largestCaptureFor(uint64_t{1} << 30), (1u << 30) - 2048);
  EXPECT_EQ(TloThread::largestCaptureFor(3071), 0u);
  failAllocations(allocFailAnyThread, uint64_t{1} << 30);
  const TloThread::Trequest refused = rig.runFor(0xFFFFFC00);
  failAllocations(allocFailNone, 0);
  EXPECT_EQ(refused, TloThread::Trequest::noMemory);
  EXPECT_TRUE(lo.captureDone);
  EXPECT_EQ(lo.hardwareStatus, TloThread::statusNoMemory);
  EXPECT_TRUE(lo.takeCapture().empty());
  rig.runFor(8192);
  EXPECT_EQ(lo.hardwareStatus, TloThread::statusReady);
  rig.expectWhole(8192);
}

// A front end decodes the bytes as they arrive (under ThreadSanitizer too), while the capture
// thread writes the ones after them; no second request touches the buffer meanwhile. The live
// decode ends as the decode of the whole capture.
TEST(CaptureThread, CapturedBytesAreDecodedWhileTheRunGoesOn) {
  TsimConfig config = TsimConfig::quick();
  config.pace = TsimPace::realtime;
  Trig rig(config);
  rig.start();
  TloThread& lo = *rig.lo;
  ASSERT_TRUE(rig.ready());
  ASSERT_EQ(rig.runFor(64 << 20), TloThread::Trequest::accepted);
  const uint8_t* bytes = lo.capturedBytes();
  auto live = std::make_shared<Tcapture>();
  TliveDecode decode(lo, live);
  int steps = 0;
  std::thread reader([&] {
    for (uint64_t decoded = 0; !decode.poll(std::chrono::milliseconds(20));
         std::this_thread::sleep_for(5ms)) {
      steps += decode.decodedBytes() != decoded;
      decoded = decode.decodedBytes();
    }
  });
  ASSERT_TRUE(waitFor([&] { return lo.captureCount > 3 * TloThread::captureBlock; }));
  EXPECT_EQ(rig.runFor(8192), TloThread::Trequest::busy);
  EXPECT_FALSE(lo.withdrawRequest()) << "taken already";
  EXPECT_EQ(lo.capturedBytes(), bytes);
  lo.stop = true;
  reader.join();
  EXPECT_GT(steps, 1);
  EXPECT_EQ(decode.decodedBytes(), lo.captureCount);
  const std::vector<uint8_t>& buffer = lo.takeCapture();
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + streamMagic.size()), streamMagic);
  TexThread whole;
  ASSERT_TRUE(whole.startDecode(&buffer));
  std::string liveText, wholeText;
  TdataIO::appendBody(*live, liveText);
  TdataIO::appendBody(*whole.capture, wholeText);
  EXPECT_FALSE(wholeText.empty());
  EXPECT_TRUE(liveText == wholeText) << live->rowCount() << " rows live, " << whole.capture->rowCount()
                                     << " whole";
}

TEST(CaptureThread, RunWaitsForTheDeviceAndSurvivesUnplugging) {
  Trig rig;
  rig.sniffer.unplug();
  rig.start();
  TloThread& lo = *rig.lo;
  rig.runFor(8192);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(lo.hardwareStatus, -1);
  EXPECT_EQ(lo.serialCopy(), "unavailable");
  EXPECT_EQ(lo.state, TloThread::stateInit);
  EXPECT_TRUE(lo.run) << "the request waits for a ready device";
  EXPECT_FALSE(lo.captureDone);
  EXPECT_EQ(rig.runFor(4096), TloThread::Trequest::busy);

  // Withdrawn, it is not taken when the device comes.
  EXPECT_TRUE(lo.withdrawRequest());
  EXPECT_FALSE(lo.withdrawRequest());
  rig.sniffer.plug();
  ASSERT_TRUE(rig.ready());
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(rig.sniffer.status().streaming);
  EXPECT_FALSE(lo.captureDone);
  EXPECT_TRUE(lo.takeCapture().empty());

  rig.runFor(8192);
  rig.expectWhole(8192);
  EXPECT_EQ(lo.hardwareStatus, 0);
  EXPECT_TRUE(lo.hardwareChanged.exchange(false));

  // Unplugged during a capture: the run ends with what it has, the thread notices the loss.
  rig.sniffer.stallStream(60000);
  rig.runFor(64 * 1024);
  ASSERT_TRUE(waitFor([&] { return rig.sniffer.status().streaming; }));
  rig.sniffer.unplug();
  ASSERT_TRUE(rig.captured());
  ASSERT_TRUE(waitFor([&] { return lo.hardwareStatus == -1; }));
  EXPECT_TRUE(lo.hardwareChanged.exchange(false));

  // Plugged in again, it is brought up from scratch: bare chip, then the firmware.
  const unsigned arrivals = rig.sniffer.status().arrivals;
  rig.sniffer.plug();
  ASSERT_TRUE(rig.ready());
  EXPECT_GE(rig.sniffer.status().arrivals, arrivals + 2);
}

// With the real device's pauses and time-outs, in every state the thread can be in.
TEST(CaptureThread, DestructionReturnsPromptlyInEveryState) {
  const auto destroyAfter = [](const char* state, TsimConfig config,
                               const std::function<bool(Trig&)>& reach) {
    SCOPED_TRACE(state);
    Trig rig(config);
    rig.lo = std::make_unique<TloThread>(ThwTiming());
    ASSERT_TRUE(reach(rig));
    std::this_thread::sleep_for(200ms);
    const auto begin = std::chrono::steady_clock::now();
    rig.lo.reset();
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
    EXPECT_LT(took, 500ms);
  };
  const auto absent = [](Trig& rig) { return rig.sniffer.unplug(), true; };
  destroyAfter("no device is present", TsimConfig(), absent);
  TsimConfig config;
  config.faults.insert(TsimFault::neverReenumerate);
  destroyAfter("waiting for re-enumeration", config, [](Trig& rig) {
    return waitFor([&] { return rig.sniffer.status().arrivals == 1 && !rig.sniffer.status().onBus; });
  });
  config = TsimConfig();
  config.faults.insert(TsimFault::fpgaBusyForever);
  destroyAfter("waiting for the FPGA", config,
               [](Trig& rig) { return waitFor([&] { return rig.sniffer.status().fpgaRefused > 0; }); });
  destroyAfter("idle", TsimConfig(), [](Trig& rig) { return rig.ready(); });
  destroyAfter("waiting for an answer that does not come", TsimConfig(), [](Trig& rig) {
    if (!rig.ready()) return false;
    rig.sniffer.stopAnswering(60000);
    std::this_thread::sleep_for(300ms);  // the next presence check is on its way
    return true;
  });
  destroyAfter("capturing a stalled stream", TsimConfig(), [](Trig& rig) {
    if (!rig.ready()) return false;
    rig.sniffer.stallStream(60000);
    rig.runFor(1 << 20);
    return waitFor([&] { return rig.sniffer.status().streaming; });
  });
}

// Connect requests come from a front end's thread whatever the capture thread is doing.
TEST(CaptureThread, ConnectRequestsAtAnyTime) {
  Trig rig;
  rig.start();
  TloThread& lo = *rig.lo;
  // During bring-up the handle is opened, closed and opened again under the requests.
  std::atomic<bool> ready{false};
  int refused = 0;
  std::thread frontEnd([&] {
    for (bool connect = false; !ready; connect = !connect) {
      if (!lo.low.setTargetConnected(connect)) ++refused;
      std::this_thread::yield();
    }
  });
  const bool up = rig.ready();
  ready = true;
  frontEnd.join();
  ASSERT_TRUE(up);
  EXPECT_GT(refused, 0) << "refused while no device was open";

  rig.sniffer.stallStream(60000);
  rig.runFor(64 * 1024);
  ASSERT_TRUE(waitFor([&] { return rig.sniffer.status().streaming; }));
  EXPECT_TRUE(lo.low.setTargetConnected(false));
  EXPECT_FALSE(rig.sniffer.status().targetConnected) << "a disconnect holds during a capture";
  EXPECT_TRUE(lo.low.setTargetConnected(true));
  EXPECT_TRUE(rig.sniffer.status().targetConnected);
  lo.stop = true;  // ends the stalled capture, which has nothing yet
  ASSERT_TRUE(rig.captured());
  EXPECT_EQ(lo.captureCount, 0u);
  EXPECT_FALSE(lo.stop);

  // A device that stops answering holds a request for the whole control time-out; the thread
  // then finds it gone and brings it up again.
  const unsigned arrivals = rig.sniffer.status().arrivals;
  const auto silent = std::chrono::steady_clock::now();
  rig.sniffer.stopAnswering(100);
  ASSERT_TRUE(waitFor([&] { return rig.sniffer.status().arrivals > arrivals; }, 15s));
  EXPECT_GE(std::chrono::steady_clock::now() - silent, std::chrono::milliseconds(TFX2base::controlTimeout));
  EXPECT_TRUE(rig.ready());
}
