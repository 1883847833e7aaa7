#include "synth/descriptors.h"

#include "synth/requests.h"

namespace synth {

Tbytes stringDescriptor(const std::string& text) {
  Tbytes d{static_cast<uint8_t>(2 + 2 * text.size()), dtString};
  for (char c : text) {
    d.push_back(static_cast<uint8_t>(c));
    d.push_back(0);
  }
  return d;
}

TdeviceBlobs hidMouseBlobs() {
  TdeviceBlobs blobs;
  blobs.hidReport = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,  // generic desktop, mouse, application
                     0x09, 0x01, 0xA1, 0x00,              // pointer, physical
                     0x05, 0x09, 0x19, 0x01, 0x29, 0x03,  // buttons 1..3
                     0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
                     0x95, 0x01, 0x75, 0x05, 0x81, 0x03,                          // padding to a byte
                     0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38,              // X, Y, wheel
                     0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x06,  // relative, -127..127
                     0xC0, 0xC0};
  blobs.device = {18,   dtDevice, 0x00, 0x02, 0x00, 0x00, 0x00, 8, 0x09,
                  0x12, 0x57,     0x7A, 0x00, 0x01, 1,    2,    3, 1};
  const uint8_t reportLength = static_cast<uint8_t>(blobs.hidReport.size());
  blobs.configuration = {9, dtConfiguration, 34, 0, 1, 1, 0, 0xA0, 50,  // bus powered, remote wakeup,
                                                                        // 100 mA
                         9, dtInterface, 0, 0, 1, 0x03, 0x01, 0x02, 0,  // HID, boot, mouse
                         9, dtHid, 0x11, 0x01, 0, 1, dtHidReport, reportLength, 0, 7, dtEndpoint, 0x81, 0x03,
                         4, 0, 4};  // interrupt IN, 4 bytes, 4 ms
  blobs.strings = {{4, dtString, 0x09, 0x04},
                   stringDescriptor("Wrenfield Devices"),
                   stringDescriptor("Synthetic Optical Mouse"),
                   stringDescriptor("SM-000417")};
  return blobs;
}

TdeviceBlobs bulkPumpBlobs() {
  TdeviceBlobs blobs;
  blobs.device = {18,   dtDevice, 0x00, 0x02, 0xFF, 0x00, 0x00, 64, 0x09,
                  0x12, 0x58,     0x7A, 0x00, 0x02, 1,    2,    3,  1};
  blobs.configuration = {9, dtConfiguration, 32,   0,    1,  1,    0,    0x80, 250,  // bus powered, 500 mA
                         9, dtInterface,     0,    0,    2,  0xFF, 0x00, 0x00, 0,    // vendor specific
                         7, dtEndpoint,      0x81, 0x02, 64, 0,    0,                // bulk IN
                         7, dtEndpoint,      0x02, 0x02, 64, 0,    0};               // bulk OUT
  blobs.strings = {{4, dtString, 0x09, 0x04},
                   stringDescriptor("Wrenfield Devices"),
                   stringDescriptor("Synthetic Data Pump"),
                   stringDescriptor("DP-002311")};
  return blobs;
}

}  // namespace synth
