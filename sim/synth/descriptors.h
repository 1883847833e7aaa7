// Descriptor bytes of the synthetic devices, kept as data so every scenario
// enumerates through the same control transfers.
#pragma once

#include <string>
#include <vector>

#include "synth/usbpackets.h"

namespace synth {

struct TdeviceBlobs {
  Tbytes device;
  Tbytes configuration;         // the whole set, wTotalLength bytes
  std::vector<Tbytes> strings;  // index 0: the language IDs
  Tbytes hidReport;             // empty when the device has no HID interface

  unsigned maxPacket0() const { return device.size() > 7 ? device[7] : 8; }
};

// UTF-16LE string descriptor of an ASCII text.
Tbytes stringDescriptor(const std::string& text);

// Full-speed boot mouse: three buttons, X, Y and wheel, 4-byte reports on
// interrupt endpoint 0x81 polled every 4 ms.
TdeviceBlobs hidMouseBlobs();
// Vendor-class data pump: bulk IN 0x81 and bulk OUT 0x02, 64-byte packets.
TdeviceBlobs bulkPumpBlobs();

}  // namespace synth
