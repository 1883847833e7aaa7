// The capture stream on endpoint 0x86: the compressed line states of the target link (magic,
// filler, items), produced on demand and paced like the real bus. The FIFO keeps stale bytes
// until it is cleared, and the encoder starts a fresh header only after an FPGA reset.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/simconfig.h"

class TsimStream {
 public:
  using Clock = std::chrono::steady_clock;

  // Pipeline bytes ahead of a fresh header, which the host discards.
  static constexpr size_t headBytes = 2048;
  // What an uncleared FIFO holds: more than the host discards.
  static constexpr size_t staleBytes = 4096;

  explicit TsimStream(const TsimConfig& config);
  ~TsimStream();

  // Starts streaming after what the FIFO holds: a fresh header after an encoder reset, else
  // the old stream goes on. The target is connected unless a command holds it.
  void start(Clock::time_point now);
  void stop();
  void resetEncoder();
  void clearFifo();
  // Power returns: a FIFO of junk, no command holding the target, which is off the link.
  void powerUp();
  bool active() const { return streaming; }
  // A connect or disconnect command: it holds until power goes.
  void holdTarget(bool connected);
  bool targetConnected() const { return connected; }
  // Nothing is delivered before this time.
  void stallUntil(Clock::time_point until) { stalledUntil = until; }

  // Appends to out at most max bytes that are available at now.
  void read(std::vector<uint8_t>& out, size_t max, Clock::time_point now);
  uint64_t delivered = 0;

  class Tsource;

 private:
  void produceUntil(uint64_t tick);

  const TsimConfig& config;
  std::unique_ptr<Tsource> source;
  std::vector<uint8_t> replay;
  std::vector<uint8_t> fifo;
  size_t fifoRead = 0;
  bool streaming = false;
  bool fifoStale = true;
  bool encoderReset = true;
  bool connected = false;
  bool held = false;
  Clock::time_point started{};
  Clock::time_point stalledUntil{};
};
