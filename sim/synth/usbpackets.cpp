#include "synth/usbpackets.h"

#include "decode/ovcrc.h"

namespace synth {

uint8_t pidByte(unsigned pid) { return static_cast<uint8_t>((pid & 15) | ((~pid & 15) << 4)); }

unsigned makeCRC5(unsigned field11) {
  unsigned crc = 0x1F;
  for (int bit = 0; bit < 11; ++bit) {
    const unsigned in = (field11 >> bit) & 1;
    crc = ((crc ^ in) & 1) ? (crc >> 1) ^ 0x14 : crc >> 1;
  }
  return ~crc & 0x1F;
}

namespace {

Tbytes fieldPacket(unsigned pid, unsigned field11) {
  field11 &= 0x7FF;
  const unsigned both = field11 | (makeCRC5(field11) << 11);
  return {pidByte(pid), static_cast<uint8_t>(both & 0xFF), static_cast<uint8_t>(both >> 8)};
}

}  // namespace

Tbytes tokenPacket(unsigned pid, unsigned addr, unsigned endp) {
  return fieldPacket(pid, (addr & 0x7F) | ((endp & 15) << 7));
}

Tbytes sofPacket(unsigned frame) { return fieldPacket(pidSof, frame); }

Tbytes dataPacket(unsigned pid, const Tbytes& payload) {
  Tbytes packet;
  packet.reserve(payload.size() + 3);
  packet.push_back(pidByte(pid));
  packet.insert(packet.end(), payload.begin(), payload.end());
  // An empty payload still carries the CRC of nothing: 0x0000.
  const unsigned short crc16 = crc::makeCRC16(payload.data(), payload.size());
  packet.push_back(static_cast<uint8_t>(crc16 & 0xFF));
  packet.push_back(static_cast<uint8_t>(crc16 >> 8));
  return packet;
}

Tbytes handshakePacket(unsigned pid) { return {pidByte(pid)}; }

void breakCrc(Tbytes& packet) {
  if (packet.size() > 1) packet.back() ^= 0x80;
}

void breakPidCheck(Tbytes& packet) {
  if (!packet.empty()) packet.front() ^= 0x10;
}

}  // namespace synth
