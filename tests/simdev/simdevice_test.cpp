// The simulated sniffer driven through the real libusb over umockdev, as a host drives the box:
// the rules the hardware tests count on it to enforce.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "hardware/ovimages.h"
#include "usbsupport.h"

namespace {

const char magic[] = "ORLAVEX.";

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

TEST(SimDevice, FpgaRunsOnlyAfterTheWholeProgrammingSequence) {
  const TsimConfig config = TsimConfig::quick();
  TsimSniffer sniffer(config);
  Tusb usb;
  libusb_device_handle* h = bringUp(usb, sniffer);
  ASSERT_NE(h, nullptr);
  auto waitNotBusy = [&] {
    uint64_t busy = 1;
    for (int polls = 0; polls < 10000 && cfgRead(h, {0xF0, 0, 0, 0}, 1, busy) && busy; ++polls) {
    }
  };
  // The sequence with its waits; `change` leaves out one step or one wait ("... wait"), or
  // enters the wrong configuration mode ("offline").
  auto program = [&](const std::string& change, unsigned rows = fpgaConfigNumFrames) {
    const auto step = [&](const std::string& name, const Bytes& command, bool wait) {
      if (change == name) return;
      EXPECT_TRUE(cfgWrite(h, command)) << "the port takes every write; the status tells";
      if (wait && change != name + " wait") waitNotBusy();
    };
    step("enableX", change == "offline" ? Bytes{0xC6, 0x08, 0x00} : Bytes{0x74, 0x08, 0x00}, false);
    step("feature bits", {0xF8, 0, 0, 0, 0x03, 0x20}, true);
    step("erase", {0x0E, 0x05, 0x00, 0x00}, true);
    step("initAddr", {0x46, 0, 0, 0}, true);
    for (unsigned row = 0; row < rows; ++row) {
      Bytes command(4 + 16);
      command[0] = 0x70, command[3] = 1;
      std::copy(fpgaConfigData + row * 16, fpgaConfigData + row * 16 + 16, command.begin() + 4);
      step("rows", command, false);
    }
    step("done", {0x5E, 0, 0, 0}, true);
    step("refresh", {0x79, 0, 0}, false);
    if (change != "refresh wait")
      std::this_thread::sleep_for(std::chrono::milliseconds(config.refreshBusyMs));
    step("disable", {0x26, 0, 0}, true);
    step("bypass", {0xFF, 0xFF, 0xFF, 0xFF}, false);
  };

  program("");
  TsimStatus status = sniffer.status();
  EXPECT_EQ(status.fpgaRefused, 0u);
  EXPECT_EQ(status.fpgaRowsCrc, fpgaConfigChecksum);
  EXPECT_TRUE(status.fpgaHoldsEmbeddedImage);
  EXPECT_TRUE(status.fpgaRunning);
  uint64_t value = 0;
  ASSERT_TRUE(cfgRead(h, {0x3C, 0, 0, 0}, 4, value));
  EXPECT_EQ(value & 0x2100, 0x100u) << "done, no failure";

  // A step out of order, in the wrong mode or while the port is busy is refused.
  for (const char* change : {"offline", "erase wait", "initAddr wait", "done", "done wait", "refresh wait",
                             "disable", "disable wait"}) {
    const unsigned before = sniffer.status().fpgaRefused;
    program(change, 1);
    EXPECT_GT(sniffer.status().fpgaRefused, before) << change;
  }
  program("", fpgaConfigNumFrames - 1);
  EXPECT_FALSE(sniffer.status().fpgaRunning) << "one row short";
  program("bypass");
  EXPECT_FALSE(sniffer.status().fpgaRunning) << "not before the bypass";
  EXPECT_FALSE(regWrite(h, 4, 2)) << "no user logic, no register port";
  closeHandle(h);
}

// What the capture thread's clear, reset and start are for.
TEST(SimDevice, StreamsStaleHeadThenMagicThenItems) {
  TsimSniffer sniffer(TsimConfig::quick());
  Tusb usb;
  libusb_device_handle* h = bringUp(usb, sniffer);
  ASSERT_NE(h, nullptr);
  Bytes block;
  EXPECT_EQ(readStream(h, block, 4096, 50), LIBUSB_ERROR_TIMEOUT) << "nothing before streaming starts";
  ASSERT_TRUE(startStream(h));
  EXPECT_TRUE(sniffer.status().targetConnected) << "streaming connects the target";
  ASSERT_EQ(readStream(h, block, 4096, 1000), 0);
  ASSERT_EQ(block.size(), 4096u);
  EXPECT_NE(std::memcmp(block.data(), magic, 8), 0);
  EXPECT_EQ(std::memcmp(block.data() + 2048, magic, 8), 0) << "2048 stale bytes, then the header";

  // An uncleared FIFO delivers its stale bytes first; without an FPGA reset the old stream
  // goes on without a header.
  const auto magicAt = [&] {
    Bytes stream;
    for (int i = 0; i < 4 && readStream(h, block, 4096, 1000) == 0; ++i)
      stream.insert(stream.end(), block.begin(), block.end());
    return std::search(stream.begin(), stream.end(), magic, magic + 8) - stream.begin();
  };
  ASSERT_EQ(controlOut(h, 0xC3, 0), 0);
  ASSERT_TRUE(regWrite(h, 4, 2));
  EXPECT_GE(magicAt(), 4096 + 2048);
  ASSERT_EQ(controlOut(h, 0xC2, 0), 0);
  ASSERT_TRUE(regWrite(h, 4, 2));
  EXPECT_EQ(magicAt(), 4 * 4096);
  closeHandle(h);
}
