// The capture thread: brings the capture device up, watches that it stays, and
// streams a capture into a file of the capture directory when asked.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "files/ovmappedfile.h"
#include "hardware/ovliblow.h"

// Front ends talk to the thread through these calls and fields:
// - requestCapture starts a capture: it gives it a new, empty buffer and raises run; it is
//   refused while a capture is requested or running (captureBusy), so a buffer being written is
//   never replaced. withdrawRequest takes back a request the thread has not taken yet.
// - during a run: raise stop to end it early; read captureCount (acquire) and, once it is above
//   0, the first captureCount bytes at capturedBytes(), from any one thread: the capture thread
//   writes only beyond them and publishes each block with a release store of captureCount.
// - once captureDone is set (after the last write), buffer holds exactly the captured bytes;
//   they stay until the front end's next request. cutShort() then says why a capture ended
//   before its size and before a stop: no room was left for its bytes.
// - any time: read hardwareStatus, copy the serial with serialCopy(), exchange hardwareChanged
//   with false, and connect or disconnect the target with low.setTargetConnected.
// The buffer is a file that grows as the bytes arrive, mapped where it never moves, so that the
// bytes can be read as they arrive and the kernel, not the heap, holds a large capture. Requests
// are taken exactly once. The texts read from the device change at every re-initialisation, so
// they are handed out only as copies.
class TloThread {
 public:
  enum : uint32_t { stateInit = 0, stateIdle = 1, stateRun = 2, stateCaptured = 3 };
  static constexpr int statusReady = 0;
  static constexpr int statusNotFound = -1;
  static constexpr int statusInitFailed = -2;
  // Found, but the user may not open it: the udev rule below is missing.
  static constexpr int statusNoPermission = -3;
  // The last capture ended early: the capture directory had no room left for its bytes (the
  // disk full, a file-size limit). The device is still ready; the next request clears it.
  static constexpr int statusNoRoom = -5;
  // Whether a status lets a capture start.
  static bool deviceReady(int32_t status) { return status == statusReady || status == statusNoRoom; }
  static constexpr int captureBlock = 4096;
  static constexpr int streamEndpoint = 0x86;
  // The stream begins with what the FIFO held before the run; it is dropped.
  static constexpr uint32_t headBytes = 2048;
  static constexpr uint32_t sizeGranularity = 1024;
  // The largest capture a request can ask for, 4 GiB less 1 KiB: no raw capture is longer.
  static constexpr uint64_t largestCapture = uint64_t{0xFFFFFFFF} / sizeGranularity * sizeGranularity;
  // Disk the decode of a capture takes per captured byte, beside the byte itself: about 2 on
  // bulk traffic and up to 32 when every byte is a bus reset. 4 covers busy traffic of small
  // packets without refusing captures that any real bus fills; a decode that finds the disk
  // full keeps what it wrote and says so.
  static constexpr uint64_t storeBytesPerRawByte = 4;
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

  // The bytes a run of `bytes` reads, head included; 64 bits, as sizes near
  // 4 GiB plus the head do not fit in 32.
  static uint64_t bufferBytes(uint64_t bytes) {
    return bytes / sizeGranularity * sizeGranularity + headBytes;
  }
  // The largest capture that freeBytes of disk hold with its decode, in whole KiB; 0 when none.
  static uint64_t largestCaptureFor(uint64_t freeBytes);
  // The same for the room the capture directory has now.
  uint64_t largestCaptureWithRoom() const;
  // Where captures go: spoolDirectory, else TmappedFile::captureDirectory().
  std::string captureDirectory() const;

  enum class Trequest { accepted, busy };
  // Replaces the buffer by an empty one for a capture of `bytes` (rounded down to whole KiB),
  // then raises run. busy: a capture is requested or running, nothing changed.
  Trequest requestCapture(uint64_t bytes);
  // True when a request was still pending and is now withdrawn; false once the thread has
  // taken it (then the capture runs, or has run, to its end).
  bool withdrawRequest();
  // From a run request until captureDone is set.
  bool captureBusy() const;
  // The capture's first byte: valid once captureCount is above 0, until the next request.
  const uint8_t* capturedBytes() const { return buffer.data(); }
  // Why the last capture ended early: "DIRECTORY: REASON" when its bytes found no room, else
  // "". Valid once no capture is busy.
  const std::string& cutShort() const { return spoolFailure; }

  // The serial number as published by the capture thread; safe from any thread.
  std::string serialCopy() const;
  TdeviceTexts deviceTextsCopy() const;

  // The capture's bytes, the head dropped, as they arrive: a file, not memory, so that no
  // capture size is cut to what the machine's memory holds.
  TmappedFile buffer;
  // Read by requestCapture; empty for TmappedFile::captureDirectory().
  std::string spoolDirectory;
  std::atomic<int32_t> hardwareStatus;
  std::atomic<bool> quit;
  std::atomic<uint32_t> tickCount;
  std::atomic<uint32_t> errorCount;
  std::atomic<uint32_t> state;
  TlibOvLow low;
  // Bytes of the capture in the buffer; stored with release order.
  std::atomic<uint64_t> captureCount;
  // Raised by requestCapture, taken by the thread.
  std::atomic<bool> run;
  // Ends the running capture, or the next one before its first read.
  std::atomic<bool> stop;
  // Hands the buffer over: set only after the last write into it.
  std::atomic<bool> captureDone;
  std::atomic<bool> hardwareChanged;

 private:
  void threadFunc();
  bool doThreadInit();
  bool doThreadInitX();
  bool doThreadRun();
  // Moves a raised run request into stateRun.
  bool takeRequest();
  bool getString(std::string& text, int request);
  // The sleeps between cycles; false when quit was raised.
  bool pause();
  bool initFailed(TdeviceTexts read);
  void publish(const TdeviceTexts& read);

  // Serialises a request, its withdrawal and the thread taking it, so that a request is
  // never taken after it was withdrawn, nor made while the thread takes the last one.
  std::mutex requestLock;
  // The capture's size, the head not counted; set by the request.
  uint64_t runBytes = 0;
  // Written by the capture thread before it leaves stateRun.
  std::string spoolFailure;
  mutable std::mutex textLock;
  TdeviceTexts texts;
  unsigned periodMs;
  std::thread thread;
};
