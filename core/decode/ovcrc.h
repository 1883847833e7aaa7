// USB CRC checks: CRC5 of tokens and SOFs, CRC16 of data packets.
#pragma once

namespace crc {

// USB data CRC16 of n bytes (0 for n = 0).
unsigned short makeCRC16(const unsigned char* p, unsigned long n);
bool checkCRC16(const unsigned char* p, unsigned long n, unsigned short crc);
// The two bytes after a token or SOF PID (11-bit field and its CRC5) pass the check.
bool checkCRC5(const unsigned char* p);

}  // namespace crc
