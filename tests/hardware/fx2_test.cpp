// The FX2 transport against the simulated sniffer.
#include <gtest/gtest.h>
#include <libusb.h>

#include "hwsupport.h"

constexpr uint16_t vid = 0x04B4, pid = 0x8613;

TEST(Fx2Transport, OpensWithAndWithoutAKernelDriver) {
  {
    // A bare FX2 often gets a kernel driver; the device must still open.
    TsimConfig config = TsimConfig::quick();
    config.kernelDriverBound = true;
    TlowRig rig(config);
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
  TlowRig rig;
  EXPECT_FALSE(rig.low.open(vid, pid, 1)) << "only one sniffer present";
}
