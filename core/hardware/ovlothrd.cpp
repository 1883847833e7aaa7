#include "hardware/ovlothrd.h"

#include <algorithm>
#include <chrono>
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
      serial("unavailable"),
      needed(8192),
      captureCount(0),
      run(false),
      stop(false),
      captureDone(false),
      hardwareChanged(false),
      periodMs(timing.threadPeriodMs),
      thread(&TloThread::threadFunc, this) {}

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
        } else if (!getString(fxString1, TovLow::reqString1) || !low.isOpen()) {
          state = stateInit;
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
  const int sleeps = low.isOpen() ? 1 : 4;
  for (int i = 0; i < sleeps; ++i) {
    if (quit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
  }
  return !quit;
}

bool TloThread::doThreadInit() {
  const int32_t before = hardwareStatus;
  const bool ok = doThreadInitX();
  if (hardwareStatus != before) hardwareChanged = true;
  return ok;
}

bool TloThread::doThreadInitX() {
  if (!low.snifferOpen() || !low.fpgaIDok()) {
    fxString0.clear();
    fxString1.clear();
    serial = "unavailable";
    hardwareStatus = statusNotFound;
    return false;
  }
  if (!getString(fxString0, TovLow::reqString0) || !getString(fxString1, TovLow::reqString1)) {
    return initFailed("");
  }
  uint8_t line[serialBytes];
  if (!low.eeRd(TovLow::targetEeprom, TovLow::eeSerialAddress, line, serialBytes)) return initFailed("");
  serial = textUpToZero(line, serialBytes);
  if (!low.updateFPGA(false)) return initFailed(serial);
  uint8_t text[fpgaTextBytes] = {};
  if (!low.wrFpgaRegIx(1) || !low.rdFpga(text, fpgaTextBytes)) return initFailed(serial);
  fpgaString = textUpToZero(text, fpgaTextBytes);
  low.resetFPGA();
  hardwareStatus = statusReady;
  return true;
}

bool TloThread::initFailed(const std::string& serialText) {
  serial = serialText;
  fpgaString.clear();
  low.resetFPGA();
  hardwareStatus = statusInitFailed;
  return false;
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
  low.clearSnifferFIFO();
  low.resetFPGA();
  low.wrFpgaReg(4, 2);

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
