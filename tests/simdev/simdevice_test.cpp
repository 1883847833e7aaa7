// The simulated sniffer driven through the real libusb over umockdev, as a host drives the
// box: the kernel's rules the hardware tests count on it to enforce.
#include <gtest/gtest.h>

#include "usbsupport.h"

namespace {

uint16_t bcdDevice(libusb_device_handle* h) {
  libusb_device_descriptor d{};
  libusb_get_device_descriptor(libusb_get_device(h), &d);
  return d.bcdDevice;
}

int readStream(libusb_device_handle* h, Bytes& out, int length, unsigned timeoutMs) {
  out.assign(size_t(length), 0);
  int got = -1;
  const int rc = libusb_interrupt_transfer(h, 0x86, out.data(), length, &got, timeoutMs);
  out.resize(got > 0 ? size_t(got) : 0);
  return rc;
}

}  // namespace

// A bare FX2 with a kernel driver bound, under the rules the kernel enforces; the
// firmware download makes it come back as the sniffer.
TEST(SimDevice, BareFx2FollowsTheKernelsRulesAndReenumerates) {
  TsimConfig config = TsimConfig::quick();
  config.kernelDriverBound = true;
  TsimSniffer sniffer(config);
  Tusb usb;
  libusb_device_handle* h = usb.open();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(bcdDevice(h), 0xA001);
  Bytes reply;
  EXPECT_EQ(controlIn(h, 0xC0, 0, reply, 64), LIBUSB_ERROR_PIPE) << "firmware requests before firmware";

  EXPECT_EQ(libusb_set_configuration(h, 1), LIBUSB_ERROR_BUSY) << "a kernel driver holds interface 0";
  EXPECT_EQ(libusb_claim_interface(h, 0), LIBUSB_ERROR_BUSY);
  EXPECT_EQ(libusb_detach_kernel_driver(h, 0), 0);
  EXPECT_EQ(libusb_set_configuration(h, 1), 0);
  EXPECT_EQ(libusb_claim_interface(h, 0), 0);
  EXPECT_EQ(libusb_set_configuration(h, 1), LIBUSB_ERROR_BUSY) << "usbfs holds interface 0";
  libusb_device_handle* other = usb.open();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(libusb_claim_interface(other, 0), LIBUSB_ERROR_BUSY);
  libusb_close(other);
  // The bare chip's endpoint is bulk: the kernel refuses interrupt URBs on it.
  Bytes block;
  EXPECT_EQ(readStream(h, block, 64, 50), LIBUSB_ERROR_IO);

  const int first = sniffer.status().devnum;
  ASSERT_TRUE(downloadFirmware(h, embeddedFirmware()));
  closeHandle(h);
  ASSERT_NE(usb.waitForNew(first, std::chrono::seconds(2)), 0);
  h = usb.open();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(bcdDevice(h), 0x0001);
  EXPECT_EQ(controlIn(h, 0xC0, 0, reply, 64), 64);
  libusb_close(h);
}
