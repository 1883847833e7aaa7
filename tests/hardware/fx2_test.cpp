// The FX2 transport against the simulated sniffer.
#include <gtest/gtest.h>
#include <libusb.h>

#include "hwsupport.h"

namespace {

constexpr uint16_t vid = 0x04B4, pid = 0x8613;
using Trig = TlowRig;

}  // namespace

TEST(Fx2Transport, OpensWithAndWithoutAKernelDriver) {
  {
    // A bare FX2 often gets a kernel driver; the device must still open.
    TsimConfig config = TsimConfig::quick();
    config.kernelDriverBound = true;
    Trig rig(config);
    ASSERT_TRUE(rig.sniffer.status().kernelDriverBound);
    ASSERT_TRUE(rig.low.open(vid, pid, 0)) << "lastError " << rig.low.lastError.load();
    const TsimStatus s = rig.sniffer.status();
    EXPECT_FALSE(s.kernelDriverBound);
    EXPECT_TRUE(s.interfaceClaimed);
    EXPECT_EQ(s.configuration, 1);
    // Opening again while open releases the first handle rather than fighting it for the interface.
    EXPECT_TRUE(rig.low.open(vid, pid, 0));
    rig.low.close();
    EXPECT_FALSE(rig.sniffer.status().interfaceClaimed);
    EXPECT_EQ(rig.low.dev, nullptr);
  }
  Trig rig;
  EXPECT_FALSE(rig.low.open(vid, pid, 1)) << "only one sniffer present";
}

TEST(Fx2Transport, BlockReadsAndTheirTimeouts) {
  Trig rig;
  ASSERT_TRUE(rig.low.FX2openAndReload());
  wirelog::clear();
  Bytes block(4096, 0xEE);
  int received = -5;
  // Nothing streams yet: a time-out is not an error and the device stays open.
  EXPECT_EQ(rig.low.blockRead(0x86, block.data(), 4096, received), 0);
  EXPECT_EQ(received, 0);
  EXPECT_TRUE(rig.low.isOpen());
  auto reads = wirelog::reads();
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].endpoint, 0x86);
  EXPECT_EQ(reads[0].timeout, quickHostTiming().readTimeoutMs);
  EXPECT_EQ(reads[0].result, LIBUSB_ERROR_TIMEOUT);

  // Any other error closes the device.
  rig.sniffer.unplug();
  EXPECT_LT(rig.low.blockRead(0x86, block.data(), 4096, received), 0);
  EXPECT_FALSE(rig.low.isOpen());
  EXPECT_LT(rig.low.lastError.load(), 0);
}
