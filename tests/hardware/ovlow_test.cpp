// The device protocol: configuration commands, registers, EEPROM and the FPGA update.
#include "hardware/ovlow.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "hardware/ovimages.h"
#include "hwsupport.h"

namespace {

// A sniffer with its firmware running, opened by the class under test.
struct Tready {
  explicit Tready(const TsimConfig& config = TsimConfig::quick()) : sniffer(config), low(quickHostTiming()) {
    ready = low.FX2openAndReload();
    wirelog::clear();
  }
  TsimSniffer sniffer;
  TovLow low;
  bool ready = false;
};

// The single request an operation makes.
TwireRequest onlyRequest(const std::function<void()>& operation) {
  wirelog::clear();
  operation();
  const auto log = wirelog::requests();
  EXPECT_EQ(log.size(), 1u);
  return log.empty() ? TwireRequest{} : log[0];
}

void expectConfigWrite(const std::function<bool()>& operation, const Bytes& bytes, const char* name) {
  SCOPED_TRACE(name);
  const TwireRequest r = onlyRequest([&] { operation(); });
  EXPECT_EQ(r.requestType, 0x40);
  EXPECT_EQ(r.request, 0xC9);
  EXPECT_EQ(r.value, 0x40);
  EXPECT_EQ(r.index, 0);
  EXPECT_EQ(r.data, bytes);
}

// A read-back is a write-then-read of the command and a fetch of k data bytes and a status byte.
void expectConfigRead(const std::function<void()>& operation, const Bytes& command, int k, const char* name) {
  SCOPED_TRACE(name);
  wirelog::clear();
  operation();
  const auto log = wirelog::requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].requestType, 0x40);
  EXPECT_EQ(log[0].request, 0xCA);
  EXPECT_EQ(log[0].value, 0x4000 + k + 1);
  EXPECT_EQ(log[0].data, command);
  EXPECT_EQ(log[1].requestType, 0xC0);
  EXPECT_EQ(log[1].request, 0xCB);
  EXPECT_EQ(log[1].value, 0);
  EXPECT_EQ(log[1].length, k + 1);
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

  expectConfigRead([&] { low.getStatusReg(); }, {0x3C, 0, 0, 0}, 4, "getStatusReg");
  expectConfigRead([&] { EXPECT_EQ(low.getTraceReg(), 0x5457520053494D31u); }, {0x19, 0, 0, 0}, 8,
                   "getTraceReg");
  expectConfigWrite([&] { return low.enable(); }, {0xC6, 0x08, 0x00}, "enable");

  TwireRequest r = onlyRequest([&] { EXPECT_TRUE(low.resetFPGA()); });
  EXPECT_EQ(r.requestType, 0x40);
  EXPECT_EQ(r.request, 0xC3);
  EXPECT_TRUE(r.data.empty());
  r = onlyRequest([&] { EXPECT_TRUE(low.clearFX2FIFO()); });
  EXPECT_EQ(r.request, 0xC2);
}

TEST(DeviceProtocol, RegisterPort) {
  Tready rig;
  ASSERT_TRUE(rig.ready);
  TovLow& low = rig.low;

  // Register 4: connect (36) or disconnect (32), each closed by a 1; 2 starts the stream.
  for (const bool connect : {true, false, true}) {
    wirelog::clear();
    EXPECT_TRUE(low.setTargetConnected(connect));
    const auto log = wirelog::requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].requestType, 0x40);
    EXPECT_EQ(log[0].request, 0xC9);
    EXPECT_EQ(log[0].value, 0x42);
    EXPECT_EQ(log[0].data, (Bytes{0x04, uint8_t(connect ? 0x64 : 0x60)}));
    EXPECT_EQ(log[1].data, (Bytes{0x04, 0x41}));
    EXPECT_EQ(rig.sniffer.status().targetConnected, connect);
  }
  TwireRequest r = onlyRequest([&] { EXPECT_TRUE(low.startStreaming()); });
  EXPECT_EQ(r.data, (Bytes{0x04, 0x42}));
  r = onlyRequest([&] { EXPECT_TRUE(low.wrFpgaReg(68, 65)); });  // both cut to six bits
  EXPECT_EQ(r.data, (Bytes{0x04, 0x41}));

  // Selecting register 1 makes the next 16-byte read return the FPGA's text.
  r = onlyRequest([&] { EXPECT_TRUE(low.wrFpgaAddr(65)); });
  EXPECT_EQ(r.data, Bytes{0x01});
  uint8_t text[16] = {};
  r = onlyRequest([&] { EXPECT_TRUE(low.rdFpga(text, 16)); });
  EXPECT_EQ(r.requestType, 0xC0);
  EXPECT_EQ(r.request, 0xC8);
  EXPECT_EQ(r.length, 16);
  EXPECT_NE(text[0], 0);

  wirelog::clear();
  uint8_t value = 99;
  EXPECT_TRUE(low.rdFpgaReg(2, value));
  auto log = wirelog::requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].data, Bytes{0x02});
  EXPECT_EQ(log[1].request, 0xC8);
  EXPECT_EQ(log[1].length, 2);
  ASSERT_EQ(log[1].data.size(), 2u);
  EXPECT_EQ(value, log[1].data[0]);

  // A failed selection stops the read.
  rig.sniffer.unplug();
  wirelog::clear();
  value = 99;
  EXPECT_FALSE(low.rdFpgaReg(2, value));
  EXPECT_EQ(value, 0);
  EXPECT_EQ(wirelog::requests().size(), 1u);
}

TEST(DeviceProtocol, EepromLines) {
  TsimConfig config = TsimConfig::quick();
  config.serial = "SN-4711";
  Tready rig(config);
  ASSERT_TRUE(rig.ready);
  TovLow& low = rig.low;

  uint8_t line[16];
  EXPECT_TRUE(low.eeRd(0x57, 0xE0, line, 16));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(line)), "SN-4711");
  auto log = wirelog::requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].request, 0xCA);
  EXPECT_EQ(log[0].value, 0x5711);
  EXPECT_EQ(log[0].data, Bytes{0xE0});
  EXPECT_EQ(log[1].request, 0xCB);
  EXPECT_EQ(log[1].length, 17);

  const Bytes data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  TwireRequest r = onlyRequest([&] { EXPECT_TRUE(low.eeWr(0x57, 0x80, data.data(), 16)); });
  EXPECT_EQ(r.request, 0xC9);
  EXPECT_EQ(r.value, 0x57);
  ASSERT_EQ(r.data.size(), 17u);
  EXPECT_EQ(r.data[0], 0x80);
  const TsimStatus s = rig.sniffer.status();
  EXPECT_EQ(Bytes(s.eeprom.begin() + 0x80, s.eeprom.begin() + 0x90), data);

  // Reads cover the whole line holding the address.
  wirelog::clear();
  EXPECT_TRUE(low.eeRd(0x57, 0x85, line, 16));
  EXPECT_EQ(Bytes(line, line + 16), data);
  EXPECT_EQ(wirelog::requests()[0].data, Bytes{0x80});
  r = onlyRequest([&] { EXPECT_TRUE(low.eeWr(0x57, 0x90, nullptr, 0)); });
  EXPECT_EQ(r.data, Bytes{0x90});
  wirelog::clear();
  EXPECT_FALSE(low.eeRd(0x57, 0xE0, line, 17));
  EXPECT_TRUE(wirelog::requests().empty());

  rig.sniffer.setFault(TsimFault::eepromReadFailure, true);
  EXPECT_FALSE(low.eeRd(0x57, 0xE0, line, 16));
  bool needed = false;
  EXPECT_FALSE(low.updateFPGAneeded(needed));
  EXPECT_FALSE(low.updateFPGA(false));
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
    for (const auto& r : wirelog::toTarget(0x40)) EXPECT_NE(r.request, 0xC9);
    EXPECT_TRUE(wirelog::toTarget(0x57).empty());
    EXPECT_EQ(rig.sniffer.status().fpgaErases, 0u);
  }
  {
    TsimConfig config = TsimConfig::quick();
    Tready rig(config);
    ASSERT_TRUE(rig.ready);
    const uint32_t before = eepromChecksum(rig.sniffer.status());
    rig.sniffer.setFault(TsimFault::fpgaBusyForever, true);
    EXPECT_FALSE(rig.low.waitNotBusy());
    EXPECT_FALSE(rig.low.updateFPGA(false));
    // A programming that did not finish must not mark the image as current.
    EXPECT_EQ(eepromChecksum(rig.sniffer.status()), before);
    for (const auto& r : wirelog::toTarget(0x57)) EXPECT_NE(r.request, 0xC9);
    bool needed = false;
    ASSERT_TRUE(rig.low.updateFPGAneeded(needed));
    EXPECT_TRUE(needed);
  }
}
