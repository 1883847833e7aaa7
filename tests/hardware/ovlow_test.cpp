// The device protocol: configuration commands, registers, EEPROM and the FPGA update.
#include "hardware/ovlow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "hardware/ovimages.h"
#include "hwsupport.h"

namespace {

// A sniffer with its firmware running, opened by the class under test.
struct Tready : TlowRig {
  explicit Tready(const TsimConfig& config = TsimConfig::quick()) : TlowRig(config) {
    ready = low.FX2openAndReload();
    wirelog::clear();
  }
  bool ready = false;
};

// The control requests an operation makes, one line each: type, request, value, length
// and, going out, the bytes.
std::string wire(const std::function<void()>& operation) {
  wirelog::clear();
  operation();
  std::string text;
  char field[32];
  for (const TwireRequest& r : wirelog::requests()) {
    snprintf(field, sizeof field, "%02X %02X %04X %u:", r.requestType, r.request, r.value, r.length);
    text += field;
    for (size_t i = 0; i < r.data.size() && !(r.requestType & 0x80); ++i)
      text += (snprintf(field, sizeof field, " %02X", r.data[i]), field);
    text += "\n";
  }
  return text;
}

uint32_t eepromChecksum(const TsimStatus& s) {
  return s.eeprom[0xF0] | s.eeprom[0xF1] << 8 | s.eeprom[0xF2] << 16 | uint32_t(s.eeprom[0xF3]) << 24;
}

}  // namespace

// The commands of the FPGA update are checked byte for byte by the simulated configuration
// port (FpgaUpdate below); these are the ones the update does not send.
TEST(DeviceProtocol, CommandBytesOnTheWire) {
  Tready rig;
  ASSERT_TRUE(rig.ready);
  TovLow& low = rig.low;
  // Register 4: connect (36) or disconnect (32), each closed by a 1; 2 starts the stream.
  for (const bool connect : {true, false, true}) {
    EXPECT_EQ(wire([&] { EXPECT_TRUE(low.setTargetConnected(connect)); }),
              std::string("40 C9 0042 2: 04 ") + (connect ? "64" : "60") + "\n40 C9 0042 2: 04 41\n");
    EXPECT_EQ(rig.sniffer.status().targetConnected, connect);
  }
  EXPECT_EQ(wire([&] { EXPECT_TRUE(low.startStreaming()); }), "40 C9 0042 2: 04 42\n");

  // Selecting register 1 makes the next 16-byte read return the FPGA's text.
  uint8_t text[16] = {};
  EXPECT_EQ(wire([&] { EXPECT_TRUE(low.wrFpgaAddr(65) && low.rdFpga(text, 16)); }),
            "40 C9 0042 1: 01\nC0 C8 0042 16:\n");
  EXPECT_NE(text[0], 0);

  // Configuration: a register read writes its command, then fetches the value and a status byte.
  EXPECT_EQ(wire([&] { low.getStatusReg(); }), "40 CA 4005 4: 3C 00 00 00\nC0 CB 0000 5:\n");
  EXPECT_EQ(wire([&] { EXPECT_EQ(low.getTraceReg(), 0x5457520053494D31u); }),
            "40 CA 4009 4: 19 00 00 00\nC0 CB 0000 9:\n");
  EXPECT_EQ(wire([&] { low.enable(); }), "40 C9 0040 3: C6 08 00\n");
  EXPECT_EQ(wire([&] { EXPECT_TRUE(low.resetFPGA()); }), "40 C3 0000 0:\n");
  EXPECT_EQ(wire([&] { EXPECT_TRUE(low.clearFX2FIFO()); }), "40 C2 0000 0:\n");

  // A failed selection stops the read.
  rig.sniffer.unplug();
  uint8_t value = 99;
  const std::string failed = wire([&] { EXPECT_FALSE(low.rdFpgaReg(2, value)); });
  EXPECT_EQ(std::count(failed.begin(), failed.end(), '\n'), 1) << failed;
  EXPECT_EQ(value, 0);
}

TEST(FpgaUpdate, ProgramsOnMismatchSkipsOnMatchAndForces) {
  Tready rig;
  ASSERT_TRUE(rig.ready);
  TovLow& low = rig.low;
  ASSERT_NE(eepromChecksum(rig.sniffer.status()), fpgaConfigChecksum);
  bool needed = false;
  ASSERT_TRUE(low.updateFPGAneeded(needed));
  EXPECT_TRUE(needed);

  EXPECT_TRUE(low.updateFPGA(false));
  TsimStatus s = rig.sniffer.status();
  EXPECT_EQ(s.fpgaRefused, 0u) << "every command in order, in its mode, after the port was ready";
  EXPECT_EQ(s.fpgaErases, 1u);
  EXPECT_EQ(s.fpgaRowsWritten, fpgaConfigNumFrames);
  EXPECT_EQ(s.fpgaRowsMatching, fpgaConfigNumFrames);
  EXPECT_TRUE(s.fpgaHoldsEmbeddedImage);
  EXPECT_TRUE(s.fpgaRunning);
  EXPECT_EQ(s.fpgaFeatureBits, 0x0320);
  EXPECT_EQ(eepromChecksum(s), fpgaConfigChecksum);
  EXPECT_EQ(wirelog::toTarget(0x57).back().data,
            (Bytes{0xF0, uint8_t(fpgaConfigChecksum), uint8_t(fpgaConfigChecksum >> 8),
                   uint8_t(fpgaConfigChecksum >> 16), uint8_t(fpgaConfigChecksum >> 24)}));
  ASSERT_TRUE(low.updateFPGAneeded(needed));
  EXPECT_FALSE(needed);

  // Up to date: identity and checksum are read, nothing is written to the configuration port.
  wirelog::clear();
  EXPECT_TRUE(low.updateFPGA(false));
  for (const auto& r : wirelog::toTarget(0x40)) EXPECT_NE(r.request, 0xC9);
  EXPECT_EQ(rig.sniffer.status().fpgaErases, 1u);

  EXPECT_TRUE(low.updateFPGA(true));
  s = rig.sniffer.status();
  EXPECT_EQ(s.fpgaRefused, 0u);
  EXPECT_TRUE(s.fpgaRunning);
  EXPECT_EQ(s.fpgaErases, 2u);
  EXPECT_EQ(s.fpgaRowsMatching, fpgaConfigNumFrames);
  EXPECT_TRUE(s.fpgaHoldsEmbeddedImage);
}

TEST(FpgaUpdate, RefusesAWrongPartAndAFpgaThatStaysBusy) {
  {
    TsimConfig config = TsimConfig::quick();
    config.faults.insert(TsimFault::wrongFpgaId);
    Tready rig(config);
    ASSERT_TRUE(rig.ready);
    EXPECT_FALSE(rig.low.fpgaIDok());
    EXPECT_FALSE(rig.low.updateFPGA(true));
    EXPECT_TRUE(wirelog::toTarget(0x57).empty());
    EXPECT_EQ(rig.sniffer.status().fpgaErases, 0u);
  }
  {
    Tready rig;
    ASSERT_TRUE(rig.ready);
    const uint32_t before = eepromChecksum(rig.sniffer.status());
    rig.sniffer.setFault(TsimFault::fpgaBusyForever, true);
    EXPECT_FALSE(rig.low.waitNotBusy());
    EXPECT_FALSE(rig.low.updateFPGA(false));
    // A programming that did not finish must not mark the image as current.
    EXPECT_EQ(eepromChecksum(rig.sniffer.status()), before);
    bool needed = false;
    ASSERT_TRUE(rig.low.updateFPGAneeded(needed));
    EXPECT_TRUE(needed);
  }
}

// The simulated configuration port refuses what the real one refuses, so that the
// update above proves its order: steps left out, run in the wrong mode or while busy.
TEST(FpgaUpdate, SimulatedPortRefusesStepsOutOfOrder) {
  Tready rig;
  ASSERT_TRUE(rig.ready);
  TovLow& low = rig.low;
  // The sequence with its waits; `change` leaves out one step or one wait ("... wait"),
  // or enters the wrong configuration mode ("offline").
  const auto program = [&](const std::string& change, unsigned rows) {
    const auto step = [&](const std::string& name, bool wait, const std::function<bool()>& command) {
      if (change == name) return;
      command();
      if (wait && change != name + " wait") low.waitNotBusy();
    };
    step("enableX", false, [&] { return change == "offline" ? low.enable() : low.enableX(); });
    step("feature bits", true, [&] { return low.setFEAbits(0x0320); });
    step("erase", true, [&] { return low.erase(); });
    step("initAddr", true, [&] { return low.initAddr(); });
    for (unsigned row = 0; row < rows; ++row)
      step("rows", false, [&] { return low.sendRow(fpgaConfigData + row * 16); });
    step("done", true, [&] { return low.done(); });
    step("refresh", false, [&] { return low.refresh(); });
    if (change != "refresh wait")
      std::this_thread::sleep_for(std::chrono::milliseconds(TsimConfig::quick().refreshBusyMs));
    step("disable", true, [&] { return low.disable(); });
    step("bypass", false, [&] { return low.bypass(); });
  };
  for (const char* change : {"offline", "erase wait", "initAddr wait", "done", "done wait", "refresh wait",
                             "disable", "disable wait"}) {
    const unsigned before = rig.sniffer.status().fpgaRefused;
    program(change, 1);
    EXPECT_GT(rig.sniffer.status().fpgaRefused, before) << change;
  }
  program("", fpgaConfigNumFrames - 1);
  EXPECT_FALSE(rig.sniffer.status().fpgaRunning) << "one row short";
  program("bypass", fpgaConfigNumFrames);
  EXPECT_FALSE(rig.sniffer.status().fpgaRunning) << "not before the bypass";
  EXPECT_FALSE(low.wrFpgaReg(4, 2)) << "no user logic, no register port";
  EXPECT_TRUE(low.bypass());
  EXPECT_TRUE(rig.sniffer.status().fpgaRunning);
}

// What the capture thread's clear, reset and start are for: the FIFO holds 2048 stale
// bytes, then the stream's header follows; without a reset the old stream goes on.
TEST(DeviceProtocol, StreamHeadAfterClearResetAndStart) {
  Tready rig;
  ASSERT_TRUE(rig.ready);
  TovLow& low = rig.low;
  const std::string magic = "ORLAVEX.";
  const auto magicAt = [&] {
    Bytes stream, block(4096);
    int received = 0;
    for (int i = 0; i < 4 && low.blockRead(0x86, block.data(), 4096, received) == 0 && received > 0; ++i)
      stream.insert(stream.end(), block.begin(), block.begin() + received);
    return std::search(stream.begin(), stream.end(), magic.begin(), magic.end()) - stream.begin();
  };
  ASSERT_TRUE(low.clearFX2FIFO() && low.resetFPGA() && low.startStreaming());
  EXPECT_TRUE(rig.sniffer.status().targetConnected) << "streaming connects the target";
  EXPECT_EQ(magicAt(), 2048);
  ASSERT_TRUE(low.resetFPGA() && low.startStreaming());
  EXPECT_GE(magicAt(), 4096 + 2048) << "an uncleared FIFO delivers its stale bytes first";
  ASSERT_TRUE(low.clearFX2FIFO() && low.startStreaming());
  EXPECT_EQ(magicAt(), 4 * 4096) << "without a reset the stream has no new header";
}
