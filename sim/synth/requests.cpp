#include "synth/requests.h"

namespace synth {

Tbytes setupRequest(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint16_t length) {
  return {requestType,
          request,
          static_cast<uint8_t>(value & 0xFF),
          static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(index & 0xFF),
          static_cast<uint8_t>(index >> 8),
          static_cast<uint8_t>(length & 0xFF),
          static_cast<uint8_t>(length >> 8)};
}

Tbytes getDescriptor(uint8_t type, uint8_t descIndex, uint16_t index, uint16_t length) {
  const uint8_t recipient = type == dtHidReport ? 0x81 : 0x80;
  return setupRequest(recipient, 6, static_cast<uint16_t>(type << 8 | descIndex), index, length);
}

Tbytes setAddress(uint8_t address) { return setupRequest(0x00, 5, address, 0, 0); }

Tbytes setConfiguration(uint8_t value) { return setupRequest(0x00, 9, value, 0, 0); }

Tbytes hidSetIdle(uint8_t interface) { return setupRequest(0x21, 0x0A, 0, interface, 0); }

}  // namespace synth
