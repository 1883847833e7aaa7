// The sniffer's FPGA as the FX2 firmware sees it: the configuration port (target 0x40) with
// its programming sequence, and the register port (target 0x42) of the capture logic.
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

  // A write to the configuration port. The port takes every write; one it refuses (out of
  // order, wrong mode, bad operands, while busy) only raises the status register's fail bit.
  void configWrite(const Bytes& bytes, Clock::time_point now);
  // The k bytes a configuration command reads back (write-then-read).
  Bytes configRead(const Bytes& command, unsigned k, Clock::time_point now);

  // Register port traffic; false when the user logic is not running.
  bool registerWrite(const Bytes& bytes);
  bool registerRead(unsigned n, Bytes& out);

  // Values of the register port's register 4.
  enum : uint8_t { cmdEnd = 1, cmdStream = 2, cmdDisconnect = 32, cmdConnect = 36 };

  // The user logic runs: a valid image was loaded through the whole closing sequence.
  bool running() const { return configured && mode == Mode::user; }
  // The value last written to register 4 and not yet taken, 0 when none.
  uint8_t takeCommand();
  void reset();

  // Programming record, for tests.
  unsigned rowsWritten = 0;
  unsigned rowsMatching = 0;  // rows equal to the embedded image's row at the same position
  uint32_t rowsCrc = 0;       // CRC-32 of every row written since the last erase
  unsigned erases = 0;
  unsigned refused = 0;  // configuration commands the port did not take
  // The image loaded last is exactly the embedded one.
  bool holdsEmbeddedImage = false;
  uint16_t featureBits = 0;

 private:
  enum class Mode { user, offline, transparent };
  // How far the closing sequence after the rows has come.
  enum class Closing { none, done, refreshed, disabled };

  bool busy(Clock::time_point now) const;
  bool accept(const Bytes& bytes, Clock::time_point now);
  void busyFor(unsigned ms, Clock::time_point now);

  const TsimConfig& config;
  bool configured;
  Mode mode = Mode::user;
  Closing closing = Closing::none;
  bool erased = false;
  bool addressed = false;
  bool failed = false;
  Clock::time_point busyUntil{};
  unsigned rowAddress = 0;
  uint8_t regs[64] = {};
  unsigned selected = 0;
  uint8_t command = 0;
};
