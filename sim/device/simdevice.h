// The simulated sniffer behind endpoint 0 and endpoint 0x86: an FX2 with its RAM loader and
// CPU reset, the stand-in firmware's vendor requests, the EEPROM, the FPGA and the stream.
// Not thread-safe: the USB layer calls it under its own lock.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "device/simconfig.h"
#include "device/simfpga.h"
#include "device/simstream.h"

// One control request as it arrives on endpoint 0.
struct TsimSetup {
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;
  bool in() const { return (requestType & 0x80) != 0; }
};

class TsimDevice {
 public:
  using Clock = std::chrono::steady_clock;
  using Bytes = std::vector<uint8_t>;

  static constexpr uint16_t vendorId = 0x04B4;
  static constexpr uint16_t productId = 0x8613;
  static constexpr uint8_t streamEndpoint = 0x86;

  explicit TsimDevice(const TsimConfig& config);

  // Answers a control request. For IN requests data receives at most setup.length bytes;
  // for OUT requests data holds the data stage. False means the device stalls the request.
  bool control(const TsimSetup& setup, Bytes& data, Clock::time_point now);

  // Device descriptor followed by the configuration descriptor, as the kernel exposes them.
  Bytes descriptors() const;
  uint8_t configuration = 1;
  bool firmwareRunning() const { return firmware; }

  // What the CPU release at 0xE600 did to the bus presence, taken once by the USB layer.
  enum class BusEvent { none, renumerate, vanish };
  BusEvent takeBusEvent();
  // The device has come onto the bus, running the firmware or as the bare chip.
  void attached(bool runningFirmware);
  // Power returns after an unplug: RAM and FIFO are lost, the EEPROM and the FPGA's flash stay.
  void powerUp();

  TsimFpga fpga;
  TsimStream stream;
  std::array<uint8_t, 256> eeprom{};
  uint16_t leds = 0;
  bool cpuHeld = false;

 private:
  bool standardRequest(const TsimSetup& setup, Bytes& data);
  bool vendorRequest(const TsimSetup& setup, Bytes& data, Clock::time_point now);
  bool ramRequest(const TsimSetup& setup, Bytes& data);
  bool targetWrite(uint8_t target, const Bytes& bytes, Clock::time_point now);
  bool targetRead(uint8_t target, unsigned n, Bytes& out, Clock::time_point now);
  bool writeThenRead(uint8_t target, unsigned k, const Bytes& bytes, Clock::time_point now);
  void actOnFpgaCommand(Clock::time_point now);
  // The EEPROM answers nothing during its write cycle.
  bool eepromBusy(Clock::time_point now) const;
  bool ramHoldsFirmware() const;
  Bytes stringDescriptor(uint8_t index) const;

  const TsimConfig& config;
  std::vector<uint8_t> ram;
  bool firmware = false;
  BusEvent busEvent = BusEvent::none;
  uint8_t eepromAddress = 0;
  Clock::time_point eepromWriteEnd{};
  Bytes lastResult;  // result of the last write-then-read, with its status byte
  bool haveResult = false;
};
