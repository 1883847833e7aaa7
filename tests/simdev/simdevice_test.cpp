// The simulated sniffer driven through the real libusb over umockdev, as a host drives the box.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <thread>

#include "decode/ovraw.h"
#include "decode/ovraw2bin.h"
#include "hardware/ovimages.h"
#include "usbsupport.h"

using namespace std::chrono_literals;

namespace {

const char magic[] = "ORLAVEX.";

libusb_device_descriptor descriptorOf(libusb_device_handle* h) {
  libusb_device_descriptor d{};
  libusb_get_device_descriptor(libusb_get_device(h), &d);
  return d;
}

uint8_t endpointAttributes(libusb_device_handle* h) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(libusb_get_device(h), &config) != 0) return 0xFF;
  const uint8_t attributes = config->interface[0].altsetting[0].endpoint[0].bmAttributes;
  libusb_free_config_descriptor(config);
  return attributes;
}

int readStream(libusb_device_handle* h, Bytes& out, int length, unsigned timeoutMs) {
  out.assign(size_t(length), 0);
  int got = -1;
  const int rc = libusb_interrupt_transfer(h, 0x86, out.data(), length, &got, timeoutMs);
  out.resize(got > 0 ? size_t(got) : 0);
  return rc;
}

// Bytes of the stream after the FIFO head, at least n of them.
Bytes streamAfterHead(libusb_device_handle* h, size_t n) {
  Bytes all, block;
  while (all.size() < 2048 + n && readStream(h, block, 4096, 2000) == 0 && !block.empty())
    all.insert(all.end(), block.begin(), block.end());
  return all.size() < 2048 ? Bytes{} : Bytes(all.begin() + 2048, all.end());
}

}  // namespace

// A bare FX2 with a kernel driver bound, under the rules the kernel enforces.
TEST(SimDevice, BareFx2FollowsTheKernelsRules) {
  TsimConfig config = TsimConfig::quick();
  config.kernelDriverBound = true;
  TsimSniffer sniffer(config);
  Tusb usb;
  ASSERT_EQ(usb.sniffers(), std::vector<int>{sniffer.status().devnum});
  libusb_device_handle* h = usb.open();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(descriptorOf(h).bcdDevice, 0xA001);
  EXPECT_EQ(descriptorOf(h).iManufacturer, 0) << "the bare chip has no strings";
  Bytes reply;
  EXPECT_EQ(controlIn(h, 0xC0, 0, reply, 64), LIBUSB_ERROR_PIPE) << "firmware requests before firmware";

  EXPECT_EQ(libusb_kernel_driver_active(h, 0), 1);
  EXPECT_EQ(libusb_set_configuration(h, 1), LIBUSB_ERROR_BUSY) << "a kernel driver holds interface 0";
  EXPECT_EQ(libusb_claim_interface(h, 0), LIBUSB_ERROR_BUSY);
  EXPECT_EQ(libusb_detach_kernel_driver(h, 0), 0);
  EXPECT_EQ(libusb_detach_kernel_driver(h, 0), LIBUSB_ERROR_NOT_FOUND);
  EXPECT_EQ(libusb_set_configuration(h, 1), 0);
  EXPECT_EQ(libusb_claim_interface(h, 0), 0);
  EXPECT_EQ(libusb_set_configuration(h, 1), LIBUSB_ERROR_BUSY) << "usbfs holds interface 0";
  libusb_device_handle* other = usb.open();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(libusb_claim_interface(other, 0), LIBUSB_ERROR_BUSY);
  libusb_close(other);

  // The bare chip's endpoint is bulk: the kernel refuses interrupt URBs on it.
  EXPECT_EQ(endpointAttributes(h), LIBUSB_TRANSFER_TYPE_BULK);
  Bytes block;
  EXPECT_EQ(readStream(h, block, 64, 50), LIBUSB_ERROR_IO);

  int got = -1;
  EXPECT_EQ(libusb_release_interface(h, 0), 0);
  EXPECT_EQ(libusb_set_configuration(h, 0), 0);
  EXPECT_EQ(libusb_get_configuration(h, &got), 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(libusb_set_configuration(h, 1), 0);
  EXPECT_EQ(libusb_kernel_driver_active(h, 0), 1) << "choosing a configuration probes drivers again";
  libusb_close(h);
}

TEST(SimDevice, RamDownloadReenumeratesWithANewDeviceNumber) {
  TsimConfig config = TsimConfig::quick();
  config.leaveDelayMs = 300;  // long enough to look at the bus before it goes
  TsimSniffer sniffer(config);
  Tusb usb;
  libusb_device_handle* h = usb.open();
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(libusb_claim_interface(h, 0), 0);

  // RAM reads back what was written, in any chunking.
  const Bytes pattern = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(controlOut(h, 0xA0, 0x1000, pattern), 16);
  EXPECT_EQ(controlOut(h, 0xA0, 0x1010, {0x55}), 1);
  Bytes back;
  EXPECT_EQ(controlIn(h, 0xA0, 0x100F, back, 2), 2);
  EXPECT_EQ(back, (Bytes{16, 0x55}));

  const int first = sniffer.status().devnum;
  ASSERT_TRUE(downloadFirmware(h, embeddedFirmware()));
  EXPECT_EQ(usb.sniffers(), std::vector<int>{first}) << "it leaves the bus only after a moment";
  ASSERT_TRUE(usb.waitUntilGone(2s));
  Bytes reply;
  EXPECT_EQ(controlIn(h, 0xC0, 0, reply, 64), LIBUSB_ERROR_NO_DEVICE);
  closeHandle(h);

  const int second = usb.waitForNew(first, 2s);
  ASSERT_NE(second, 0);
  EXPECT_NE(second, first);
  EXPECT_EQ(sniffer.status().arrivals, 2u);
  h = usb.open();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(descriptorOf(h).bcdDevice, 0x0001);
  EXPECT_EQ(endpointAttributes(h), LIBUSB_TRANSFER_TYPE_INTERRUPT);
  unsigned char text[64];
  EXPECT_GT(libusb_get_string_descriptor_ascii(h, descriptorOf(h).iSerialNumber, text, sizeof text), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "TWRSIM0001");
  EXPECT_EQ(controlIn(h, 0xC0, 0, reply, 64), 64);
  EXPECT_TRUE(sniffer.status().firmwareRunning);

  // Every bring-up downloads again: the running firmware is stopped and started anew.
  ASSERT_EQ(libusb_claim_interface(h, 0), 0);
  ASSERT_TRUE(downloadFirmware(h, embeddedFirmware()));
  closeHandle(h);
  EXPECT_NE(usb.waitForNew(second, 2s), 0);
}

// A RAM image other than the firmware crashes the CPU once released: it leaves the bus for good.
TEST(SimDevice, WrongImageKeepsTheDeviceAway) {
  TsimSniffer sniffer(TsimConfig::quick());
  Tusb usb;
  libusb_device_handle* h = usb.open();
  ASSERT_NE(h, nullptr);
  Bytes image = embeddedFirmware();
  image[image.size() - 1] ^= 1;
  ASSERT_TRUE(downloadFirmware(h, image));
  closeHandle(h);
  EXPECT_TRUE(usb.waitUntilGone(1s));
  std::this_thread::sleep_for(std::chrono::milliseconds(TsimConfig::quick().returnDelayMs * 4));
  EXPECT_TRUE(usb.sniffers().empty());
}

TEST(SimDevice, AnswersEachFirmwareRequest) {
  const TsimConfig config = TsimConfig::quick();
  TsimSniffer sniffer(config);
  Tusb usb;
  libusb_device_handle* h = bringUp(usb, sniffer);
  ASSERT_NE(h, nullptr);
  Bytes reply;
  ASSERT_EQ(controlIn(h, 0xC0, 0, reply, 64), 64);
  EXPECT_GT(std::strlen(reinterpret_cast<char*>(reply.data())), 0u);
  ASSERT_EQ(controlIn(h, 0xC1, 0, reply, 64), 64);
  EXPECT_GT(std::strlen(reinterpret_cast<char*>(reply.data())), 0u);
  EXPECT_EQ(controlOut(h, 0xC2, 0), 0);
  EXPECT_EQ(controlOut(h, 0xC3, 0), 0);
  EXPECT_EQ(controlOut(h, 0xC6, 0x5A), 0);
  EXPECT_EQ(sniffer.status().leds, 0x5A);
  EXPECT_EQ(controlIn(h, 0xC4, 0, reply, 1), LIBUSB_ERROR_PIPE) << "not a request of the firmware";
  EXPECT_EQ(controlIn(h, 0xCB, 0, reply, 2), LIBUSB_ERROR_PIPE) << "no write-then-read yet";
  EXPECT_EQ(controlOut(h, 0xC9, 0x33, {1}), LIBUSB_ERROR_PIPE) << "no target at that address";

  uint64_t id = 0;
  ASSERT_TRUE(cfgRead(h, {0xE0, 0, 0, 0}, 4, id));
  EXPECT_EQ(id, 0x012B9043u);
  ASSERT_EQ(controlIn(h, 0xCB, 0, reply, 5), 5);
  EXPECT_EQ(reply, (Bytes{0x01, 0x2B, 0x90, 0x43, 0x00})) << "the result keeps its status byte";

  // Register port: register 4 drives the target switch, register 1 reads the FPGA's text.
  EXPECT_TRUE(regWrite(h, 4, 36));
  EXPECT_TRUE(sniffer.status().targetConnected);
  EXPECT_TRUE(regWrite(h, 4, 32));
  EXPECT_FALSE(sniffer.status().targetConnected);
  EXPECT_TRUE(regWrite(h, 5, 7));
  ASSERT_EQ(controlOut(h, 0xC9, 0x42, {5}), 1);
  ASSERT_EQ(controlIn(h, 0xC8, 0x42, reply, 2), 2);
  EXPECT_EQ(reply, (Bytes{7, 0}));
  ASSERT_EQ(controlOut(h, 0xC9, 0x42, {1}), 1);
  ASSERT_EQ(controlIn(h, 0xC8, 0x42, reply, 16), 16);
  EXPECT_GT(std::strlen(reinterpret_cast<char*>(reply.data())), 0u);
  EXPECT_LT(std::strlen(reinterpret_cast<char*>(reply.data())), 16u);

  // EEPROM: serial number at 0xE0, a checksum at 0xF0 that is not the image's yet.
  Bytes line;
  ASSERT_TRUE(eepromRead(h, 0xE0, line));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(line.data())), "TWRSIM0001");
  ASSERT_TRUE(eepromRead(h, 0xF0, line));
  EXPECT_NE(uint32_t(line[0] | line[1] << 8 | line[2] << 16 | uint32_t(line[3]) << 24), fpgaConfigChecksum);
  ASSERT_TRUE(eepromWrite(h, 0xF0, {0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_FALSE(eepromRead(h, 0xF0, line)) << "no answer during the write cycle";
  std::this_thread::sleep_for(std::chrono::milliseconds(config.eepromWriteMs));
  ASSERT_TRUE(eepromRead(h, 0xF0, line));
  EXPECT_EQ(Bytes(line.begin(), line.begin() + 4), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(sniffer.status().eeprom[0xF3], 0xEF);
  closeHandle(h);
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
      Bytes command = {0x70, 0, 0, 1};
      command.insert(command.end(), fpgaConfigData + row * 16, fpgaConfigData + row * 16 + 16);
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
  EXPECT_EQ(status.fpgaRowsMatching, fpgaConfigNumFrames);
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
  ASSERT_TRUE(cfgRead(h, {0xE0, 0, 0, 1}, 4, value));
  EXPECT_EQ(value, 0xFFFFFFFFu) << "a query with a wrong operand gets no answer";
  program("bypass");
  EXPECT_FALSE(sniffer.status().fpgaRunning) << "not before the bypass";
  EXPECT_FALSE(regWrite(h, 4, 2)) << "no user logic, no register port";
  EXPECT_TRUE(cfgWrite(h, {0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(sniffer.status().fpgaRunning);
  EXPECT_TRUE(regWrite(h, 4, 2));
  closeHandle(h);
}

TEST(SimDevice, StreamsHeadThenMagicThenItems) {
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
  size_t item = 2056;
  while (item < block.size() && block[item] >= 0x80) ++item;
  EXPECT_LT(item, block.size()) << "filler, then items";
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(readStream(h, block, 4096, 1000), 0);
    EXPECT_EQ(block.size(), 4096u);
  }
  EXPECT_EQ(sniffer.status().streamBytes, 9u * 4096);

  // A new start gives a new head and header.
  ASSERT_TRUE(startStream(h));
  ASSERT_EQ(readStream(h, block, 4096, 1000), 0);
  EXPECT_EQ(std::memcmp(block.data() + 2048, magic, 8), 0);

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

TEST(SimDevice, StreamDecodesToAHidDeviceBeingEnumeratedAndPolled) {
  TsimSniffer sniffer(TsimConfig::quick());
  Tusb usb;
  libusb_device_handle* h = bringUp(usb, sniffer);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(startStream(h));
  Bytes stream = streamAfterHead(h, 40000);
  // The target is pulled off the link for a while, then put back.
  ASSERT_TRUE(regWrite(h, 4, 32));
  Bytes block;
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(readStream(h, block, 4096, 1000), 0);
    stream.insert(stream.end(), block.begin(), block.end());
  }
  ASSERT_TRUE(regWrite(h, 4, 36));
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(readStream(h, block, 4096, 1000), 0);
    stream.insert(stream.end(), block.begin(), block.end());
  }
  closeHandle(h);

  Traw raw;
  ASSERT_TRUE(raw.addRawData(stream));
  Traw2bin decoder;
  std::vector<TeventBin> events;
  decoder.buildBinVec(raw, events);
  ASSERT_GT(events.size(), 100u);

  int resets = 0, longResets = 0, setups = 0, descriptorRequests = 0, reportRequests = 0, naks = 0;
  int sofs = 0, frameSteps = 0, frameJumps = 0, badFlags = 0;
  int lastFrame = -1;
  std::set<int> addresses;
  for (size_t i = 0; i < events.size(); ++i) {
    const TeventBin& e = events[i];
    if (e.kind == 3) {
      ++resets;
      const uint32_t se0 = e.bytes[1] | e.bytes[2] << 8 | e.bytes[3] << 16 | uint32_t(e.bytes[4]) << 24;
      if (se0 > 100000) ++longResets;
      continue;
    }
    if (e.flags) ++badFlags;
    const uint8_t pid = e.bytes.at(0);
    if (pid == 0xA5) {
      const int frame = e.bytes[1] | (e.bytes[2] & 7) << 8;
      const int step = (frame - lastFrame) & 0x7FF;
      if (lastFrame >= 0 && step == 1) ++frameSteps;
      if (lastFrame >= 0 && step != 1) {
        ++frameJumps;
        EXPECT_GT(step, 2) << "frame numbers keep rising while the target is off the link";
      }
      lastFrame = frame;
      ++sofs;
    } else if (pid == 0x2D) {
      ++setups;
      addresses.insert(e.bytes[1] & 0x7F);
      const Bytes& data = events.at(i + 1).bytes;
      if (data.size() > 4 && data[1] == 0x80 && data[2] == 6) ++descriptorRequests;
      if (data.size() > 4 && data[1] == 0x81 && data[2] == 6 && data[4] == 0x22) ++reportRequests;
    } else if (pid == 0x5A) {
      ++naks;
    }
  }
  EXPECT_EQ(badFlags, 0) << "the decoder finds no PID, CRC or stuffing errors";
  EXPECT_GE(resets, 2) << "attach reset and the second reset of enumeration";
  EXPECT_GE(longResets, 1) << "the target off the link is one long SE0";
  EXPECT_GT(sofs, 500);
  EXPECT_GT(frameSteps, sofs - 10);
  EXPECT_GE(frameJumps, 1) << "the frames passed while the target was detached";
  EXPECT_EQ(addresses, (std::set<int>{0, 7})) << "enumerated at address 0, then at its own";
  EXPECT_GE(descriptorRequests, 6);
  EXPECT_GE(reportRequests, 1) << "the HID report descriptor";
  EXPECT_GT(naks, 20) << "the interrupt endpoint polled";
  EXPECT_GT(setups, 10);
}

TEST(SimDevice, RealtimePaceFollowsTheClock) {
  TsimConfig config = TsimConfig::quick();
  config.pace = TsimPace::realtime;
  TsimSniffer sniffer(config);
  Tusb usb;
  libusb_device_handle* h = bringUp(usb, sniffer);
  ASSERT_NE(h, nullptr);
  // Taken before the start request, so the device's clock cannot start earlier than ours.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(startStream(h));
  Bytes stream, block;
  int shortBlocks = 0;
  while (std::chrono::steady_clock::now() - start < 400ms) {
    ASSERT_EQ(readStream(h, block, 4096, 1000), 0);
    if (block.size() < 4096) ++shortBlocks;
    stream.insert(stream.end(), block.begin(), block.end());
  }
  const double elapsedMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  closeHandle(h);
  EXPECT_GT(shortBlocks, 3) << "reads return what has arrived";
  ASSERT_GT(stream.size(), 2048u);

  Traw raw;
  ASSERT_TRUE(raw.addRawData(Bytes(stream.begin() + 2048, stream.end())));
  TrawItem item;
  uint64_t ticks = 0;
  while (raw.getItem(item)) ticks = item.end;
  const double busMs = double(ticks) / 12000;
  EXPECT_LE(busMs, elapsedMs) << "never ahead of the clock";
  EXPECT_GE(busMs, elapsedMs / 2) << "not far behind it either";
}

TEST(SimDevice, StalledStreamTimesOutAndUnplugEndsARead) {
  TsimSniffer sniffer(TsimConfig::quick());
  Tusb usb;
  libusb_device_handle* h = bringUp(usb, sniffer);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(startStream(h));
  sniffer.stallStream(1000);
  Bytes block;
  EXPECT_EQ(readStream(h, block, 4096, 100), LIBUSB_ERROR_TIMEOUT);
  EXPECT_TRUE(block.empty());
  EXPECT_EQ(readStream(h, block, 4096, 3000), 0) << "data again once the stall is over";
  EXPECT_EQ(block.size(), 4096u);

  sniffer.stallStream(10000);
  const int devnum = sniffer.status().devnum;
  std::thread puller([&] {
    std::this_thread::sleep_for(100ms);
    sniffer.unplug();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(readStream(h, block, 4096, 5000), LIBUSB_ERROR_NO_DEVICE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  puller.join();
  EXPECT_TRUE(usb.waitUntilGone(1s));
  closeHandle(h);

  sniffer.plug();
  const int again = usb.waitForNew(devnum, 1s);
  EXPECT_NE(again, 0);
  h = usb.open();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(descriptorOf(h).bcdDevice, 0xA001) << "power returns to a bare FX2";
  libusb_close(h);
}

TEST(SimDevice, StreamFaultsAndReplay) {
  const std::string replayPath =
      ::testing::TempDir() + "twr-simdev-replay-" + std::to_string(getpid()) + ".raw";
  // Data bytes, then about 100 ms of SE0, then data bytes again.
  Bytes replay(magic, magic + 8);
  for (int i = 0; i < 2500; ++i) replay.push_back(uint8_t(i % 0x80));
  for (int i = 0; i < 100; ++i) replay.insert(replay.end(), {0xE0, 0x80, 0xC0, 0xC3});
  for (int i = 0; i < 2500; ++i) replay.push_back(uint8_t(i % 0x80));
  FILE* file = std::fopen(replayPath.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(replay.data(), 1, replay.size(), file);
  std::fclose(file);

  for (int variant = 0; variant < 4; ++variant) {
    TsimConfig config = TsimConfig::quick();
    if (variant == 0) config.faults.insert(TsimFault::wrongMagic);
    if (variant == 1) {
      config.faults.insert(TsimFault::streamStall);
      config.stallMs = 1000;
    }
    if (variant >= 2) config.replayFile = replayPath;
    if (variant == 3) config.pace = TsimPace::realtime;
    TsimSniffer sniffer(config);
    Tusb usb;
    libusb_device_handle* h = bringUp(usb, sniffer);
    ASSERT_NE(h, nullptr);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(startStream(h));
    Bytes block;
    if (variant == 1) {
      EXPECT_EQ(readStream(h, block, 4096, 100), LIBUSB_ERROR_TIMEOUT);
    }
    const Bytes stream = streamAfterHead(h, replay.size() + 100);
    ASSERT_GE(stream.size(), replay.size() + 100);
    EXPECT_EQ(std::memcmp(stream.data(), magic, 8) == 0, variant != 0) << "variant " << variant;
    if (variant >= 2) {
      EXPECT_EQ(Bytes(stream.begin(), stream.begin() + long(replay.size())), replay);
      EXPECT_LT(stream[replay.size()], 0x80) << "idle items follow, no second header";
    }
    if (variant == 3) {
      EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms) << "a replay keeps the capture's pace";
    }
    closeHandle(h);
  }
  std::remove(replayPath.c_str());
}
