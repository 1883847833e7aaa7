#include "hardware/ovlothrd.h"

#include <algorithm>
#include <new>
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
      needed(8192),
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
        if (run) {
          // Both changed before run reads false, so that a front end which waits for the request
          // to be taken never sees the previous capture's done flag or an idle state.
          captureDone = false;
          state = stateRun;
          run = false;
        } else {
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
        captureDone = true;
        state = stateIdle;
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

bool TloThread::doThreadRun() {
  const size_t total = needed / sizeGranularity * sizeGranularity + headBytes;
  captureCount = 0;
  try {
    buffer.resize(total);
  } catch (const std::bad_alloc&) {
    hardwareStatus = statusNoMemory;
    return false;
  }
  // The device was ready all along: only an earlier run lacked its buffer.
  if (hardwareStatus == statusNoMemory) hardwareStatus = statusReady;
  low.clearSnifferFIFO();
  low.resetFPGA();
  low.startStreaming();

  bool ok = true;
  size_t offset = 0;
  // quit is honoured too: a destructor must not wait for a capture that may never fill.
  while (offset < total && !quit) {
    if (stop.exchange(false)) break;
    const int ask = static_cast<int>(std::min<size_t>(total - offset, captureBlock));
    int received = 0;
    if (low.blockIn(streamEndpoint, buffer.data() + offset, ask, received) < 0) {
      ok = false;
      break;
    }
    offset += static_cast<size_t>(std::clamp(received, 0, ask));
    captureCount = std::max<size_t>(offset, headBytes) - headBytes;
  }
  // Also after a failed read, so that the buffer always starts with this capture's data.
  buffer.erase(buffer.begin(), buffer.begin() + headBytes);
  return ok;
}

bool TloThread::getString(std::string& text, int request) {
  text = "?";
  uint8_t bytes[stringBytes + 1] = {};
  if (low.controlIn(static_cast<uint8_t>(request), 0, 0, bytes, stringBytes) < 0) return false;
  text = textUpToZero(bytes, stringBytes);
  return true;
}
