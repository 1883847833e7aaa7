// The capture thread: brings the capture device up, watches that it stays, and
// streams a capture into buffer when asked.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hardware/ovliblow.h"

// Front ends talk to the thread only through the public fields:
// - before a run (no capture running): empty buffer, captureCount = 0, set needed, then raise run;
// - during a run: read captureCount, raise stop to end it early;
// - once captureDone is set the buffer is theirs until the next run request;
// - any time: read hardwareStatus, copy the serial with serialCopy(), exchange hardwareChanged
//   with false, and connect or disconnect the target with low.setTargetConnected.
// Requests are atomics taken by exchange, so each is consumed exactly once. The texts read from
// the device change at every re-initialisation, so they are handed out only as copies.
class TloThread {
 public:
  enum : uint32_t { stateInit = 0, stateIdle = 1, stateRun = 2, stateCaptured = 3 };
  static constexpr int statusReady = 0;
  static constexpr int statusNotFound = -1;
  static constexpr int statusInitFailed = -2;
  // Found, but the user may not open it: the udev rule below is missing.
  static constexpr int statusNoPermission = -3;
  static constexpr int statusNoMemory = -5;
  static constexpr int captureBlock = 4096;
  static constexpr int streamEndpoint = 0x86;
  // The stream begins with what the FIFO held before the run; it is dropped.
  static constexpr uint32_t headBytes = 2048;
  static constexpr uint32_t sizeGranularity = 1024;
  static constexpr int stringBytes = 64;
  static constexpr int fpgaTextBytes = 16;
  static constexpr int serialBytes = 16;
  // The udev rule that lets the logged-in user open the sniffer; front ends name it in their
  // no-permission texts.
  static constexpr const char* accessRule = "60-tracewren.rules";

  // What the last bring-up read from the device.
  struct TdeviceTexts {
    std::string fxString0, fxString1, fpgaString;
    std::string serial = "unavailable";
  };

  explicit TloThread(const ThwTiming& timing = ThwTiming());
  // Returns within a fraction of a second in every state, a capture or an unanswered request
  // included.
  ~TloThread();
  TloThread(const TloThread&) = delete;
  TloThread& operator=(const TloThread&) = delete;

  // The serial number as published by the capture thread; safe from any thread.
  std::string serialCopy() const;
  TdeviceTexts deviceTextsCopy() const;

  std::vector<uint8_t> buffer;
  std::atomic<int32_t> hardwareStatus;
  std::atomic<bool> quit;
  std::atomic<uint32_t> tickCount;
  std::atomic<uint32_t> errorCount;
  std::atomic<uint32_t> state;
  TlibOvLow low;
  uint32_t needed;
  std::atomic<uint64_t> captureCount;
  std::atomic<bool> run;
  std::atomic<bool> stop;
  // Hands the buffer over: set only after the last write into it.
  std::atomic<bool> captureDone;
  std::atomic<bool> hardwareChanged;

 private:
  void threadFunc();
  bool doThreadInit();
  bool doThreadInitX();
  bool doThreadRun();
  bool getString(std::string& text, int request);
  // The sleeps between cycles; false when quit was raised.
  bool pause();
  bool initFailed(TdeviceTexts read);
  void publish(const TdeviceTexts& read);

  mutable std::mutex textLock;
  TdeviceTexts texts;
  unsigned periodMs;
  std::thread thread;
};
