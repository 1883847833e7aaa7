// The device on the target link while it is connected: a full-speed HID device that
// attaches, is reset and enumerated, and is then polled; every few seconds it detaches and
// starts over, while the host's frame numbers keep rising.
#pragma once

#include <cstdint>
#include <memory>

#include "synth/host.h"
#include "synth/scenario.h"
#include "synth/traffic.h"

class TsimTarget {
 public:
  // The link comes up at the host's frame number `frame`.
  explicit TsimTarget(unsigned frame, uint64_t seed);

  // Writes the link's traffic at least up to the tick (bus time of this target).
  void traffic(uint64_t untilTick);
  synth::TlineRuns takeRuns() { return bus.takeRuns(); }
  uint64_t time() const { return bus.time(); }
  unsigned frame() const { return bus.frame(); }

  // Frames of steady traffic before the device detaches and enumerates again.
  static constexpr unsigned loopFrames = 3000;

 private:
  synth::TbusWriter bus;
  synth::TusbHost host;
  std::unique_ptr<synth::Tscenario> scenario;
  uint64_t seed;
  unsigned steps = 0;
};
