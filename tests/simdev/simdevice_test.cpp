// The simulated sniffer driven through the real libusb over umockdev, as a host drives the
// box: the kernel's rules the hardware tests count on it to enforce.
#include <gtest/gtest.h>
#include <libusb-1.0/libusb.h>

#include "device/simsniffer.h"

// A bare FX2 with a kernel driver bound, under the rules the kernel enforces. (Its firmware
// download and return as the sniffer are what every hardware test starts with.)
TEST(SimDevice, BareFx2FollowsTheKernelsRules) {
  TsimConfig config = TsimConfig::quick();
  config.kernelDriverBound = true;
  TsimSniffer sniffer(config);
  libusb_context* usb = nullptr;  // created after the sniffer, so that it finds the testbed
  ASSERT_EQ(libusb_init(&usb), 0);
  libusb_device_handle* h = libusb_open_device_with_vid_pid(usb, 0x04B4, 0x8613);
  ASSERT_NE(h, nullptr);
  libusb_device_descriptor d{};
  libusb_get_device_descriptor(libusb_get_device(h), &d);
  EXPECT_EQ(d.bcdDevice, 0xA001);
  uint8_t bytes[64];
  EXPECT_EQ(libusb_control_transfer(h, 0xC0, 0, 0, 0, bytes, 64, 1000), LIBUSB_ERROR_PIPE)
      << "firmware requests before firmware";

  EXPECT_EQ(libusb_set_configuration(h, 1), LIBUSB_ERROR_BUSY) << "a kernel driver holds interface 0";
  EXPECT_EQ(libusb_claim_interface(h, 0), LIBUSB_ERROR_BUSY);
  EXPECT_EQ(libusb_detach_kernel_driver(h, 0), 0);
  EXPECT_EQ(libusb_set_configuration(h, 1), 0);
  EXPECT_EQ(libusb_claim_interface(h, 0), 0);
  EXPECT_EQ(libusb_set_configuration(h, 1), LIBUSB_ERROR_BUSY) << "usbfs holds interface 0";
  libusb_device_handle* other = libusb_open_device_with_vid_pid(usb, 0x04B4, 0x8613);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(libusb_claim_interface(other, 0), LIBUSB_ERROR_BUSY);
  libusb_close(other);
  // The bare chip's endpoint is bulk: the kernel refuses interrupt URBs on it.
  int got = 0;
  EXPECT_EQ(libusb_interrupt_transfer(h, 0x86, bytes, 64, &got, 50), LIBUSB_ERROR_IO);
  libusb_release_interface(h, 0);
  libusb_close(h);
  libusb_exit(usb);
}
