// Plain libusb helpers for driving the simulated sniffer the way a host would.
#pragma once

#include <libusb-1.0/libusb.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "device/simsniffer.h"

using Bytes = std::vector<uint8_t>;

// libusb for one test: created after the sniffer, gone before it.
class Tusb {
 public:
  Tusb();
  ~Tusb();
  Tusb(const Tusb&) = delete;
  Tusb& operator=(const Tusb&) = delete;

  // Sniffers (vendor 0x04B4, product 0x8613) on the bus now.
  std::vector<int> sniffers();
  // Opens the first sniffer; null when there is none.
  libusb_device_handle* open();
  // Waits until a sniffer with another device number than `old` appears; its number or 0.
  int waitForNew(int old, std::chrono::milliseconds limit);

  libusb_context* ctx = nullptr;
};

// Control transfers with a short time-out; the result is libusb's.
int controlIn(libusb_device_handle* h, uint8_t request, uint16_t value, Bytes& data, unsigned length);
int controlOut(libusb_device_handle* h, uint8_t request, uint16_t value, const Bytes& data = {});

// Writes the record stream into RAM with the CPU held and then releases it.
bool downloadFirmware(libusb_device_handle* h, const Bytes& records);
Bytes embeddedFirmware();

void closeHandle(libusb_device_handle* h);
