// The capture stream on endpoint 0x86: stale FIFO bytes, then the compressed line states of
// the target link (magic, filler, items), produced on demand and paced like the real bus.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/simconfig.h"

class TsimStream {
 public:
  using Clock = std::chrono::steady_clock;

  // Bytes left in the FIFO from before a start, which the host discards.
  static constexpr size_t headBytes = 2048;

  explicit TsimStream(const TsimConfig& config);
  ~TsimStream();

  // Starts streaming from a fresh header; the target is connected if it was not.
  void start(Clock::time_point now);
  void stop();
  void clearFifo();
  bool active() const { return streaming; }
  void setTargetConnected(bool connected, Clock::time_point now);
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
  bool connected = false;
  Clock::time_point started{};
  Clock::time_point stalledUntil{};
};
