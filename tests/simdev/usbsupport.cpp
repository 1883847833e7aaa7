#include "usbsupport.h"

#include <algorithm>
#include <thread>

#include "hardware/ovimages.h"

namespace {

constexpr unsigned timeoutMs = 1000;
constexpr uint16_t vendorId = 0x04B4, productId = 0x8613;

}  // namespace

Tusb::Tusb() { libusb_init(&ctx); }

Tusb::~Tusb() { libusb_exit(ctx); }

std::vector<int> Tusb::sniffers() {
  std::vector<int> out;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(ctx, &list);
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device_descriptor d;
    if (libusb_get_device_descriptor(list[i], &d) == 0 && d.idVendor == vendorId && d.idProduct == productId)
      out.push_back(libusb_get_device_address(list[i]));
  }
  if (n >= 0) libusb_free_device_list(list, 1);
  return out;
}

libusb_device_handle* Tusb::open() { return libusb_open_device_with_vid_pid(ctx, vendorId, productId); }

int Tusb::waitForNew(int old, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    for (int devnum : sniffers())
      if (devnum != old) return devnum;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 0;
}

int controlIn(libusb_device_handle* h, uint8_t request, uint16_t value, Bytes& data, unsigned length) {
  data.assign(length, 0);
  const int rc =
      libusb_control_transfer(h, 0xC0, request, value, 0, data.data(), uint16_t(length), timeoutMs);
  data.resize(rc > 0 ? size_t(rc) : 0);
  return rc;
}

int controlOut(libusb_device_handle* h, uint8_t request, uint16_t value, const Bytes& data) {
  Bytes copy = data;
  return libusb_control_transfer(h, 0x40, request, value, 0, copy.data(), uint16_t(copy.size()), timeoutMs);
}

Bytes embeddedFirmware() { return Bytes(fxprog, fxprog + fxprogLength()); }

bool downloadFirmware(libusb_device_handle* h, const Bytes& records) {
  if (controlOut(h, 0xA0, 0xE600, {1}) != 1) return false;
  for (size_t offset = 0; offset + 3 <= records.size();) {
    const unsigned n = records[offset];
    unsigned address = records[offset + 1] << 8 | records[offset + 2];
    for (unsigned done = 0; done < n; done += 16, address += 16) {
      const unsigned chunk = std::min(16u, n - done);
      const Bytes data(records.begin() + long(offset + 3 + done),
                       records.begin() + long(offset + 3 + done + chunk));
      if (controlOut(h, 0xA0, uint16_t(address), data) != int(chunk)) return false;
    }
    offset += 3 + n;
  }
  return controlOut(h, 0xA0, 0xE600, {0}) == 1;
}

void closeHandle(libusb_device_handle* h) {
  if (!h) return;
  libusb_release_interface(h, 0);
  libusb_close(h);
}
