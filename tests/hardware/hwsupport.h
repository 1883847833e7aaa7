// Support for driving the hardware classes against the simulated sniffer: quick
// settings, and a record of every control request the core hands to libusb.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "device/simhosttiming.h"
#include "device/simsniffer.h"
#include "hardware/ovlothrd.h"
#include "hardware/ovlow.h"
#include "support/waitfor.h"

using Bytes = std::vector<uint8_t>;

// One control transfer as libusb was asked to make it, with its result; data holds
// what went out, or for IN requests what came back.
struct TwireRequest {
  uint8_t requestType;
  uint8_t request;
  uint16_t value;
  uint16_t index;
  uint16_t length;
  Bytes data;
  int result;
};

// One interrupt read as asked of libusb.
struct TwireRead {
  int endpoint;
  int length;
};

namespace wirelog {

void clear();
std::vector<TwireRequest> requests();
std::vector<TwireRead> reads();
// Requests to a target of the firmware's 0xC8/0xC9/0xCA requests.
std::vector<TwireRequest> toTarget(uint8_t target);

}  // namespace wirelog

// Until the capture thread has brought the sniffer up and waits for a run.
inline bool threadReady(TloThread& lo) {
  return waitFor(
      [&] { return lo.hardwareStatus == TloThread::statusReady && lo.state == TloThread::stateIdle; });
}

// A simulated sniffer and the transport on it; the sniffer comes first, so that libusb finds
// the testbed when the transport initialises it.
struct TlowRig {
  explicit TlowRig(const TsimConfig& config = TsimConfig::quick()) : sniffer(config), low(quickHostTiming()) {
    wirelog::clear();
  }
  TsimSniffer sniffer;
  TovLow low;
};
