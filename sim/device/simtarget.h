// The device on the target link while it is connected: a full-speed HID device that is
// attached, reset, enumerated and polled, over and over with rising frame numbers.
#pragma once

#include <cstdint>

#include "synth/traffic.h"

class TsimTarget {
 public:
  // Writes the link's traffic until the writer's time reaches the tick.
  void traffic(synth::TbusWriter& writer, uint64_t untilTick);
  // The target attaches again; frame numbers go on rising.
  void restart();
};
