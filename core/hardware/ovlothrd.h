// The capture thread: brings the capture device up, watches that it stays, and
// streams a capture into buffer when asked.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "hardware/ovliblow.h"

// Front ends talk to the thread only through the public fields:
// - before a run (no capture running): empty buffer, captureCount = 0, set needed, then raise run;
// - during a run: read captureCount, raise stop to end it early;
// - once captureDone is set the buffer is theirs until the next run request;
// - any time: read hardwareStatus and serial, exchange hardwareChanged with false.
// Requests are atomics taken by exchange, so each is consumed exactly once.
class TloThread {
 public:
  enum : uint32_t { stateInit = 0, stateIdle = 1, stateRun = 2, stateCaptured = 3 };
  static constexpr int statusReady = 0;
  static constexpr int statusNotFound = -1;
  static constexpr int statusInitFailed = -2;
  static constexpr int statusNoMemory = -5;
  static constexpr int captureBlock = 4096;
  static constexpr int streamEndpoint = 0x86;
  // The stream begins with what the FIFO held before the run; it is dropped.
  static constexpr uint32_t headBytes = 2048;
  static constexpr uint32_t sizeGranularity = 1024;
  static constexpr int stringBytes = 64;
  static constexpr int fpgaTextBytes = 16;
  static constexpr int serialBytes = 16;

  explicit TloThread(const ThwTiming& timing = ThwTiming());
  ~TloThread();
  TloThread(const TloThread&) = delete;
  TloThread& operator=(const TloThread&) = delete;

  void threadFunc();
  bool doThreadInit();
  bool doThreadInitX();
  bool doThreadRun();
  bool getString(std::string& text, int request);

  std::vector<uint8_t> buffer;
  std::atomic<int32_t> hardwareStatus;
  std::atomic<bool> quit;
  std::atomic<uint32_t> tickCount;
  std::atomic<uint32_t> errorCount;
  std::atomic<uint32_t> state;
  TlibOvLow low;
  std::string fxString0;
  std::string fxString1;
  std::string fpgaString;
  std::string serial;
  uint32_t needed;
  std::atomic<uint64_t> captureCount;
  std::atomic<bool> run;
  std::atomic<bool> stop;
  // Hands the buffer over: set only after the last write into it.
  std::atomic<bool> captureDone;
  std::atomic<bool> hardwareChanged;

 private:
  // The sleeps between cycles; false when quit was raised.
  bool pause();
  bool initFailed(const std::string& serialText);

  unsigned periodMs;
  std::thread thread;
};
