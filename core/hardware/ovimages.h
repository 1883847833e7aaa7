// The two device images compiled into the core (generated from core/hardware/images/).
#pragma once

#include <cstdint>

// FX2 firmware as a record stream; the array ends with one zero that is not part of it.
extern const uint8_t fxprog[];
uint32_t fxprogLength();

// FPGA configuration rows of 16 bytes, followed by one zero that is never sent.
extern const uint8_t fpgaConfigData[];
extern const uint32_t fpgaConfigNumFrames;
// Identifies the image; compared for equality with the one the EEPROM remembers.
extern const uint32_t fpgaConfigChecksum;
