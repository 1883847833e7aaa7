#include "decode/ovcrc.h"

#include <array>

namespace {

// Reflected CRC16 polynomial 0x8005.
constexpr std::array<unsigned short, 256> makeCrc16Table() {
  std::array<unsigned short, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    table[i] = static_cast<unsigned short>(crc);
  }
  return table;
}

// One CRC5 byte step: eight right shifts, each XORed with the reflected
// polynomial 0x14 when a 1 is shifted out. The step is linear, so it is the XOR
// of the steps of the low and the high nibble.
constexpr unsigned crc5Step(unsigned x) {
  for (int bit = 0; bit < 8; ++bit) x = (x & 1) ? (x >> 1) ^ 0x14 : x >> 1;
  return x;
}

constexpr std::array<unsigned char, 16> makeCrc5Table(unsigned shift) {
  std::array<unsigned char, 16> table{};
  for (unsigned i = 0; i < 16; ++i) table[i] = static_cast<unsigned char>(crc5Step(i << shift));
  return table;
}

constexpr auto crc16Table = makeCrc16Table();
constexpr auto crc5Low = makeCrc5Table(0);
constexpr auto crc5High = makeCrc5Table(4);

unsigned crc5Byte(unsigned x) { return crc5Low[x & 0x0F] ^ crc5High[(x >> 4) & 0x0F]; }

constexpr unsigned crc5Residual = 6;  // 0b01100 read backwards

}  // namespace

namespace crc {

unsigned short makeCRC16(const unsigned char* p, unsigned long n) {
  if (n == 0) return 0;
  unsigned crc = 0xFFFF;
  for (unsigned long i = 0; i < n; ++i) crc = (crc >> 8) ^ crc16Table[(crc ^ p[i]) & 0xFF];
  return static_cast<unsigned short>(~crc);
}

bool checkCRC16(const unsigned char* p, unsigned long n, unsigned short crc) {
  return makeCRC16(p, n) == crc;
}

bool checkCRC5(const unsigned char* p) {
  unsigned x = crc5Byte(p[0] ^ 0x1F);
  x = crc5Byte(x ^ p[1]);
  return x == crc5Residual;
}

}  // namespace crc
