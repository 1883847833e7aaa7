// The capture thread against a sniffer that fails on the way up or stalls:
// each fault ends in its status, the thread keeps going, and a repaired box
// comes up.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "device/simaccess.h"
#include "hardware/ovlothrd.h"
#include "hwsupport.h"

using namespace std::chrono_literals;

TEST(CaptureThreadFaults, BringUpFailuresAndUnplugsRecover) {
  struct Tcase {
    const char* what;
    TsimFault fault;
    int32_t status;  // while the fault lasts
  };
  for (const Tcase& c :
       {Tcase{"firmware never re-enumerates", TsimFault::neverReenumerate, TloThread::statusNotFound},
        Tcase{"FPGA busy forever", TsimFault::fpgaBusyForever, TloThread::statusInitFailed},
        Tcase{"no udev rule", TsimFault::accessDenied, TloThread::statusNoPermission}}) {
    SCOPED_TRACE(c.what);
    TsimConfig config = TsimConfig::quick();
    config.faults.insert(c.fault);
    TsimSniffer sniffer(config);
    // The capture thread opens the device as a user's program would, also when the tests run as root.
    TsimUserFileAccess asUser;
    TloThread lo(quickHostTiming());
    ASSERT_TRUE(waitFor([&] { return lo.tickCount >= 3 && lo.hardwareStatus == c.status; }));
    sniffer.setFault(c.fault, false);
    sniffer.unplug();
    sniffer.plug();
    EXPECT_TRUE(threadReady(lo));
  }

  // Pulled while the firmware goes down, then while the FPGA is programmed.
  const std::function<bool(const TsimStatus&)> moments[] = {
      [](const TsimStatus& s) { return s.cpuHeld; },
      [](const TsimStatus& s) { return s.fpgaRowsWritten > 0; },
  };
  for (const auto& moment : moments) {
    TsimSniffer sniffer(TsimConfig::quick());
    TloThread lo(quickHostTiming());
    ASSERT_TRUE(waitFor([&] { return moment(sniffer.status()); }, 10s));
    sniffer.unplug();
    const uint64_t ticks = lo.tickCount;
    EXPECT_TRUE(waitFor([&] { return lo.tickCount > ticks + 2; })) << "the thread goes on";
    EXPECT_EQ(lo.hardwareStatus, TloThread::statusNotFound);
    sniffer.plug();
    ASSERT_TRUE(threadReady(lo));
    EXPECT_TRUE(sniffer.status().fpgaHoldsEmbeddedImage);
  }
}

// A stream that stalls for far longer than a read waits is no error: the
// capture goes on and fills its buffer.
TEST(CaptureThreadFaults, StallOfSecondsEndsInAFullCapture) {
  TsimConfig config = TsimConfig::quick();
  config.faults.insert(TsimFault::streamStall);
  config.stallMs = 2000;
  TsimSniffer sniffer(config);
  TloThread lo(quickHostTiming());
  ASSERT_TRUE(threadReady(lo));
  ASSERT_EQ(lo.requestCapture(8192), TloThread::Trequest::accepted);
  ASSERT_TRUE(waitFor([&] { return lo.captureDone.load(); }));
  ASSERT_EQ(lo.buffer.size(), 8192u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lo.buffer.data()), 8), "ORLAVEX.");
  EXPECT_EQ(lo.hardwareStatus, TloThread::statusReady);
}
