// Plug-in and standard enumeration, shared by every device scenario.
#pragma once

#include <cstdint>

#include "synth/descriptors.h"
#include "synth/host.h"

namespace synth {

constexpr uint32_t ticksPerMs = 12000;

// The target held detached (SE0), then connected (J for the debounce time),
// then the host's 10 ms bus reset; SOFs run from there on.
void attachDevice(TbusWriter& bus);
// J for a random number of whole frames in [minFrames, maxFrames].
void pauseFrames(TusbHost& host, unsigned minFrames, unsigned maxFrames);
// Device descriptor (8 bytes at address 0, a second reset, then all of it at
// the new address), configuration (9 bytes, then all), the strings, and
// SET_CONFIGURATION 1.
void enumerate(TusbHost& host, const TdeviceBlobs& blobs, uint8_t address);

}  // namespace synth
