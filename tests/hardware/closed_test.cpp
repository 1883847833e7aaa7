// Behaviour of the hardware classes without a device.
#include <gtest/gtest.h>

#include "hardware/ovlow.h"

TEST(ClosedDevice, EveryRequestFailsWithoutTouchingLibusb) {
  TovLow low;
  EXPECT_FALSE(low.isOpen());
  uint8_t data[17] = {};
  EXPECT_EQ(low.controlMsg(0xC0, 0xC0, 0, 0, data, 17, 100), -1);
  EXPECT_EQ(low.ReadRAM(0x1000, data, 17, 100), 1u);
  EXPECT_EQ(low.WriteRAM(0x1000, data, 0, 100), 1u);  // closed counts before the length
  EXPECT_FALSE(low.FX2setResetBit(true));
  EXPECT_FALSE(low.FX2reload(data, 3));
  EXPECT_TRUE(low.programEmbedded(data, 0));

  int received = 1234;
  EXPECT_EQ(low.blockRead(0x86, data, 16, received), -1);
  EXPECT_EQ(received, 1234);

  uint8_t value = 99;
  EXPECT_FALSE(low.rdFpgaReg(4, value));
  EXPECT_EQ(value, 0);
  EXPECT_FALSE(low.setTargetConnected(true));
  EXPECT_FALSE(low.fpgaIDok());
  EXPECT_FALSE(low.updateFPGA(true));
  bool needed = false;
  EXPECT_FALSE(low.updateFPGAneeded(needed));
  EXPECT_FALSE(low.eeRd(0x57, 0xE0, data, 16));
  EXPECT_EQ(low.lastError.load(), 0);  // nothing reached libusb
  low.close();
  EXPECT_FALSE(low.isOpen());
}
