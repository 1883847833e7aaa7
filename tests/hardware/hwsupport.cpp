#include "hwsupport.h"

#include <libusb.h>

#include <mutex>

// The test program is linked with --wrap for these two functions, so every call the
// core makes goes through the recorders below on its way to the real libusb.
extern "C" {
int __real_libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                                   uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                                   unsigned int timeout);
int __real_libusb_interrupt_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                     unsigned char* data, int length, int* transferred, unsigned int timeout);
}

namespace {

std::mutex lock;
std::vector<TwireRequest> requestLog;
std::vector<TwireRead> readLog;

}  // namespace

extern "C" {

int __wrap_libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                                   uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                                   unsigned int timeout) {
  TwireRequest r{requestType, request, value, index, length, {}, 0};
  if (!(requestType & 0x80) && data) r.data.assign(data, data + length);
  r.result =
      __real_libusb_control_transfer(handle, requestType, request, value, index, data, length, timeout);
  if ((requestType & 0x80) && data && r.result > 0) r.data.assign(data, data + r.result);
  std::lock_guard<std::mutex> guard(lock);
  requestLog.push_back(r);
  return r.result;
}

int __wrap_libusb_interrupt_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                     unsigned char* data, int length, int* transferred,
                                     unsigned int timeout) {
  const int rc = __real_libusb_interrupt_transfer(handle, endpoint, data, length, transferred, timeout);
  std::lock_guard<std::mutex> guard(lock);
  readLog.push_back({endpoint, length});
  return rc;
}
}

namespace wirelog {

void clear() {
  std::lock_guard<std::mutex> guard(lock);
  requestLog.clear();
  readLog.clear();
}

std::vector<TwireRequest> requests() {
  std::lock_guard<std::mutex> guard(lock);
  return requestLog;
}

std::vector<TwireRead> reads() {
  std::lock_guard<std::mutex> guard(lock);
  return readLog;
}

std::vector<TwireRequest> toTarget(uint8_t target) {
  std::vector<TwireRequest> out;
  for (const auto& r : requests()) {
    const bool targetRequest = r.request == 0xC8 || r.request == 0xC9 || r.request == 0xCA;
    const uint8_t t = r.request == 0xCA ? uint8_t(r.value >> 8) : uint8_t(r.value);
    if (targetRequest && t == target) out.push_back(r);
  }
  return out;
}

}  // namespace wirelog
