// The sniffer's FPGA as the FX2 firmware sees it: the configuration port (target 0x40) with
// its erase/program/refresh cycle, and the register port (target 0x42) of the capture logic.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "device/simconfig.h"

class TsimFpga {
 public:
  using Clock = std::chrono::steady_clock;
  using Bytes = std::vector<uint8_t>;

  static constexpr uint32_t idCode = 0x012B9043;

  explicit TsimFpga(const TsimConfig& config);

  // A write to the configuration port; false when the port does not take the command.
  bool configWrite(const Bytes& bytes, Clock::time_point now);
  // The k bytes a configuration command reads back (write-then-read).
  Bytes configRead(const Bytes& command, unsigned k, Clock::time_point now);

  // Register port traffic; false when the user logic is not running (erased FPGA).
  bool registerWrite(const Bytes& bytes);
  bool registerRead(unsigned n, Bytes& out);

  // Values of the register port's register 4 commands.
  enum : uint8_t { cmdStreamFree = 1, cmdStream = 2, cmdDisconnect = 32, cmdConnect = 36 };

  // The user logic runs (it has a configuration and is not in configuration mode).
  bool running() const { return configured && !configMode; }
  // The command last written to register 4 and not yet taken, 0 when none.
  uint8_t takeCommand();
  void reset();

  // Programming record, for tests.
  unsigned rowsWritten = 0;
  unsigned rowsMatching = 0;  // rows equal to the embedded image's row at the same position
  uint32_t rowsCrc = 0;       // CRC-32 of every row written since the last erase
  unsigned erases = 0;
  unsigned refreshes = 0;
  // The last refresh loaded exactly the embedded image.
  bool holdsEmbeddedImage = false;
  uint16_t featureBits = 0;

 private:
  bool busy(Clock::time_point now) const;

  const TsimConfig& config;
  bool configured;
  bool configMode = false;
  bool doneBit = false;
  Clock::time_point busyUntil{};
  unsigned rowAddress = 0;
  uint8_t regs[64] = {};
  unsigned selected = 0;
  uint8_t command = 0;
};
