#include "hardware/ovlothrd.h"

#include <algorithm>
#include <system_error>

#include "hardware/ovlow.h"

namespace {

std::string textUpToZero(const uint8_t* bytes, size_t n) {
  return std::string(reinterpret_cast<const char*>(bytes), std::find(bytes, bytes + n, 0) - bytes);
}

}  // namespace

TloThread::TloThread(const ThwTiming& timing)
    : hardwareStatus(statusNotFound),
      quit(false),
      tickCount(0),
      errorCount(0),
      state(stateInit),
      low(timing),
      captureCount(0),
      run(false),
      stop(false),
      captureDone(false),
      hardwareChanged(false),
      periodMs(timing.threadPeriodMs) {
  low.setCancel(&quit);
  thread = std::thread(&TloThread::threadFunc, this);
}

TloThread::~TloThread() {
  quit = true;
  try {
    if (thread.joinable()) thread.join();
  } catch (const std::system_error&) {
  }
}

void TloThread::threadFunc() {
  while (!quit) {
    const uint32_t s = state;
    ++tickCount;
    switch (s) {
      case stateInit:
        if (doThreadInit()) state = stateIdle;
        break;
      case stateIdle:
        if (!takeRequest()) {
          std::string presence;
          if (!getString(presence, TovLow::reqString1) || !low.isOpen()) {
            state = stateInit;
          } else {
            std::lock_guard<std::mutex> guard(textLock);
            texts.fxString1 = presence;
          }
        }
        break;
      case stateRun:
        doThreadRun();
        state = stateCaptured;
        break;
      case stateCaptured:
        // Idle first: a front end that sees the capture done may request the next one at once.
        state = stateIdle;
        captureDone.store(true, std::memory_order_release);
        break;
      default:
        ++errorCount;
    }
    if (!pause()) return;
  }
}

bool TloThread::pause() {
  const unsigned sleeps = low.isOpen() ? 1 : 4;
  return sleepUnlessRaised(sleeps * periodMs, &quit);
}

bool TloThread::doThreadInit() {
  const int32_t before = hardwareStatus;
  const bool ok = doThreadInitX();
  if (hardwareStatus != before) hardwareChanged = true;
  return ok;
}

bool TloThread::doThreadInitX() {
  if (!low.snifferOpen() || !low.fpgaIDok()) {
    publish(TdeviceTexts());
    hardwareStatus = low.accessDenied() ? statusNoPermission : statusNotFound;
    return false;
  }
  TdeviceTexts read;
  if (!getString(read.fxString0, TovLow::reqString0) || !getString(read.fxString1, TovLow::reqString1)) {
    read.serial.clear();
    return initFailed(read);
  }
  uint8_t line[serialBytes];
  read.serial.clear();
  if (!low.eeRd(TovLow::targetEeprom, TovLow::eeSerialAddress, line, serialBytes)) return initFailed(read);
  read.serial = textUpToZero(line, serialBytes);
  if (!low.updateFPGA(false)) return initFailed(read);
  uint8_t text[fpgaTextBytes] = {};
  if (!low.wrFpgaRegIx(1) || !low.rdFpga(text, fpgaTextBytes)) return initFailed(read);
  read.fpgaString = textUpToZero(text, fpgaTextBytes);
  publish(read);
  low.resetFPGA();
  hardwareStatus = statusReady;
  return true;
}

bool TloThread::initFailed(TdeviceTexts read) {
  read.fpgaString.clear();
  publish(read);
  low.resetFPGA();
  hardwareStatus = statusInitFailed;
  return false;
}

void TloThread::publish(const TdeviceTexts& read) {
  std::lock_guard<std::mutex> guard(textLock);
  texts = read;
}

std::string TloThread::serialCopy() const {
  std::lock_guard<std::mutex> guard(textLock);
  return texts.serial;
}

TloThread::TdeviceTexts TloThread::deviceTextsCopy() const {
  std::lock_guard<std::mutex> guard(textLock);
  return texts;
}

uint64_t TloThread::largestCaptureFor(uint64_t freeBytes) {
  const uint64_t bytes = freeBytes / (1 + storeBytesPerRawByte);
  return std::min(largestCapture, bytes / sizeGranularity * sizeGranularity);
}

std::string TloThread::captureDirectory() const {
  return spoolDirectory.empty() ? TmappedFile::captureDirectory() : spoolDirectory;
}

uint64_t TloThread::largestCaptureWithRoom() const {
  return largestCaptureFor(TmappedFile::freeBytes(captureDirectory()));
}

TloThread::Trequest TloThread::requestCapture(uint64_t bytes) {
  std::lock_guard<std::mutex> guard(requestLock);
  if (captureBusy()) return Trequest::busy;
  captureCount.store(0, std::memory_order_release);
  captureDone = false;
  spoolFailure.clear();
  runBytes = bufferBytes(std::min(bytes, largestCapture)) - headBytes;
  // The last capture's file goes; the new one is made by the first bytes that arrive.
  buffer = TmappedFile(runBytes, captureDirectory());
  // The device was ready all along: only the last capture lacked room.
  int32_t lacking = statusNoRoom;
  hardwareStatus.compare_exchange_strong(lacking, statusReady);
  run = true;
  return Trequest::accepted;
}

bool TloThread::withdrawRequest() {
  std::lock_guard<std::mutex> guard(requestLock);
  return run.exchange(false);
}

bool TloThread::takeRequest() {
  std::lock_guard<std::mutex> guard(requestLock);
  if (!run) return false;
  // Running before the request reads taken, so that captureBusy holds throughout.
  state = stateRun;
  run = false;
  return true;
}

bool TloThread::captureBusy() const {
  const bool requested = run;
  const uint32_t s = state;
  return requested || s == stateRun || s == stateCaptured;
}

bool TloThread::doThreadRun() {
  low.clearSnifferFIFO();
  low.resetFPGA();
  low.startStreaming();

  bool ok = true;
  uint8_t block[captureBlock];
  const uint64_t total = runBytes + headBytes;
  uint64_t offset = 0;
  // quit is honoured too: a destructor must not wait for a capture that may never fill.
  while (offset < total && !quit) {
    if (stop.exchange(false)) break;
    const int ask = static_cast<int>(std::min<uint64_t>(total - offset, captureBlock));
    int received = 0;
    if (low.blockIn(streamEndpoint, block, ask, received) < 0) {
      ok = false;
      break;
    }
    const uint64_t got = static_cast<uint64_t>(std::clamp(received, 0, ask));
    // The head is what the FIFO held before the run: dropped as it comes.
    const uint64_t head = offset < headBytes ? std::min(got, headBytes - offset) : 0;
    offset += got;
    if (got > head && !buffer.append(block + head, got - head)) {
      spoolFailure = buffer.error();
      int32_t ready = statusReady;
      hardwareStatus.compare_exchange_strong(ready, statusNoRoom);
      ok = false;
      break;
    }
    captureCount.store(buffer.size(), std::memory_order_release);
  }
  return ok;
}

bool TloThread::getString(std::string& text, int request) {
  text = "?";
  uint8_t bytes[stringBytes + 1] = {};
  if (low.controlIn(static_cast<uint8_t>(request), 0, 0, bytes, stringBytes) < 0) return false;
  text = textUpToZero(bytes, stringBytes);
  return true;
}
