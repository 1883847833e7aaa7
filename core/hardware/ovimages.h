// The two device images compiled into the host: the FX2 firmware record stream and the
// FPGA configuration rows. Generated at build time from the files in images/.
#pragma once

#include <cstdint>

// Records of (N, address high, address low, N data bytes); one extra zero byte follows the stream.
extern const unsigned char fxprog[];
// Bytes of the record stream, without the trailing zero.
unsigned fxprogLength();

// fpgaConfigNumFrames rows of 16 bytes; one extra zero byte follows the rows.
extern const unsigned char fpgaConfigData[];
extern const uint32_t fpgaConfigNumFrames;
// Identifies the image; stored in the EEPROM after programming and compared for equality only.
extern const uint32_t fpgaConfigChecksum;
