// Hand-built bus events for the packet, tree and row tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "decode/ovbase.h"
#include "decode/ovcrc.h"

namespace testev {

constexpr int OUT = 1, ACK = 2, DATA0 = 3, NYET = 6, DATA2 = 7, IN = 9, NAK = 10, DATA1 = 11, SETUP = 13,
              STALL = 14, PING = 4, PRE = 12, SOF = 5;

inline uint8_t pidByte(int pid) { return static_cast<uint8_t>((~pid & 15) << 4 | pid); }

// The 11-bit field followed by the CRC5 that makes it pass the check.
inline std::vector<uint8_t> field11(uint32_t value) {
  for (uint32_t crc5 = 0; crc5 < 32; ++crc5) {
    const uint32_t f = (value & 0x7FF) | crc5 << 11;
    const uint8_t b[2] = {static_cast<uint8_t>(f), static_cast<uint8_t>(f >> 8)};
    if (crc::checkCRC5(b)) return {b[0], b[1]};
  }
  return {};
}

// Appends events with rising times, 100 ticks apart.
class TeventList {
 public:
  std::vector<TeventBin> events;

  TeventList& raw(std::vector<uint8_t> packetBytes, uint32_t idle = 20, uint16_t flags = 0,
                  uint8_t kind = 1) {
    TeventBin ev;
    ev.kind = kind;
    ev.flags = flags;
    ev.time = nextTime();
    ev.bytes = std::move(packetBytes);
    for (int k = 0; k < 4; ++k) ev.bytes.push_back(static_cast<uint8_t>(idle >> (8 * k)));
    events.push_back(std::move(ev));
    return *this;
  }
  TeventList& token(int pid, uint32_t addr, uint32_t endp) {
    std::vector<uint8_t> b = field11(addr | endp << 7);
    b.insert(b.begin(), pidByte(pid));
    return raw(b);
  }
  TeventList& sof(uint32_t frame) {
    std::vector<uint8_t> b = field11(frame);
    b.insert(b.begin(), pidByte(SOF));
    return raw(b);
  }
  TeventList& data(int pid, std::initializer_list<uint8_t> payload) {
    return data(pid, std::vector<uint8_t>(payload));
  }
  TeventList& data(int pid, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> b{pidByte(pid)};
    b.insert(b.end(), payload.begin(), payload.end());
    const unsigned short crc16 = crc::makeCRC16(payload.data(), payload.size());
    b.push_back(static_cast<uint8_t>(crc16));
    b.push_back(static_cast<uint8_t>(crc16 >> 8));
    return raw(b);
  }
  TeventList& handshake(int pid) { return raw({pidByte(pid)}); }
  TeventList& reset(uint32_t se0 = 30000, uint32_t idle = 12) {
    TeventBin ev;
    ev.kind = 3;
    ev.time = nextTime();
    ev.bytes = {0x10};
    for (uint32_t v : {se0, idle}) {
      for (int k = 0; k < 4; ++k) ev.bytes.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
    events.push_back(std::move(ev));
    return *this;
  }
  // A complete SETUP stage on (addr, endp) with the 8 request bytes.
  TeventList& setupStage(uint32_t addr, std::vector<uint8_t> request, uint32_t endp = 0) {
    return token(SETUP, addr, endp).data(DATA0, request).handshake(ACK);
  }

 private:
  uint64_t nextTime() { return time += 100; }
  uint64_t time = 0;
};

}  // namespace testev
