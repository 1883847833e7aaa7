// The 8-byte SETUP payloads of the standard and class requests the scenarios use.
#pragma once

#include <cstdint>

#include "synth/usbpackets.h"

namespace synth {

enum TdescriptorType : uint8_t {
  dtDevice = 1,
  dtConfiguration = 2,
  dtString = 3,
  dtInterface = 4,
  dtEndpoint = 5,
  dtHid = 0x21,
  dtHidReport = 0x22,
};

constexpr uint16_t langEnglishUs = 0x0409;

Tbytes setupRequest(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint16_t length);
// GET_DESCRIPTOR to the device, or to interface `index` for HID report descriptors.
Tbytes getDescriptor(uint8_t type, uint8_t descIndex, uint16_t index, uint16_t length);
Tbytes setAddress(uint8_t address);
Tbytes setConfiguration(uint8_t value);
Tbytes hidSetIdle(uint8_t interface);

}  // namespace synth
