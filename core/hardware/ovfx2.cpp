#include "hardware/ovfx2.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

bool sleepUnlessRaised(unsigned ms, const std::atomic<bool>* flag) {
  // Short steps: a raised flag is seen within one of them.
  constexpr unsigned step = 10;
  using clock = std::chrono::steady_clock;
  const auto end = clock::now() + std::chrono::milliseconds(ms);
  for (auto now = clock::now(); now < end; now = clock::now()) {
    if (flag && *flag) return false;
    std::this_thread::sleep_for(std::min<clock::duration>(end - now, std::chrono::milliseconds(step)));
  }
  return !(flag && *flag);
}

TFX2base::TFX2base(const ThwTiming& timing)
    : dev(nullptr),
      handle(nullptr),
      lastError(0),
      vendorId(0),
      productId(0),
      instance(0),
      libusbReady(false),
      timing(timing) {
  const int rc = libusb_init(nullptr);
  err(rc);
  libusbReady = rc == 0;
}

TFX2base::~TFX2base() {
  close();
  if (libusbReady) libusb_exit(nullptr);
}

bool TFX2base::milliSleep(unsigned ms) { return sleepUnlessRaised(ms, cancel); }

bool TFX2base::isOpen() const {
  std::shared_lock<std::shared_mutex> guard(handleLock);
  return handle != nullptr;
}

void TFX2base::close() {
  std::unique_lock<std::shared_mutex> guard(handleLock);
  if (handle) {
    libusb_release_interface(handle, theInterface);
    libusb_close(handle);
  }
  dev = nullptr;
  handle = nullptr;
}

void TFX2base::err(int rc) {
  if (rc < 0) lastError = rc;
}

int TFX2base::controlMsg(uint8_t requestType, uint8_t request, int value, int index, uint8_t* data,
                         uint16_t length, unsigned timeout) {
  std::shared_lock<std::shared_mutex> guard(handleLock);
  if (!handle) return -1;
  const int rc = libusb_control_transfer(handle, requestType, request, static_cast<uint16_t>(value),
                                         static_cast<uint16_t>(index), data, length, timeout);
  err(rc);
  return rc;
}

unsigned TFX2base::RAMop(uint32_t address, uint8_t* buffer, uint32_t length, uint8_t requestType,
                         unsigned timeout) {
  if (!handle) return 1;
  unsigned failures = 0;
  for (uint32_t done = 0; done < length; done += ramChunk) {
    const uint16_t n = static_cast<uint16_t>(length - done < ramChunk ? length - done : ramChunk);
    const int rc = controlMsg(requestType, firmwareLoadRequest, static_cast<int>((address + done) & 0xFFFF),
                              0, buffer + done, n, timeout);
    if (rc < 0) ++failures;
  }
  return failures;
}

unsigned TFX2base::WriteRAM(uint32_t address, const uint8_t* buffer, uint32_t length, unsigned timeout) {
  // libusb does not write into the data of an OUT request.
  return RAMop(address, const_cast<uint8_t*>(buffer), length,
               LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_ENDPOINT_OUT, timeout);
}

unsigned TFX2base::ReadRAM(uint32_t address, uint8_t* buffer, uint32_t length, unsigned timeout) {
  return RAMop(address, buffer, length, LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_ENDPOINT_IN, timeout);
}

bool TFX2base::FX2setResetBit(bool hold) {
  uint8_t bit = hold ? 1 : 0;
  return controlMsg(LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_ENDPOINT_OUT, firmwareLoadRequest, cpuControlAddress,
                    0, &bit, 1, controlTimeout) == 1;
}

bool TFX2base::programEmbedded(const uint8_t* image, uint32_t length) {
  uint32_t offset = 0;
  while (offset < length) {
    // A record cut short by the end of the image is refused rather than read past it.
    if (length - offset < 3) return false;
    const uint32_t n = image[offset];
    if (length - offset - 3 < n) return false;
    const uint32_t address = image[offset + 1] * 256u + image[offset + 2];
    if (WriteRAM(address, image + offset + 3, n, controlTimeout) != 0) return false;
    offset += n + 3;
  }
  return true;
}

bool TFX2base::FX2reload(const uint8_t* image, uint32_t length) {
  if (!FX2setResetBit(true)) return false;
  if (!programEmbedded(image, length)) return false;
  FX2setResetBit(false);
  // Re-opening before the FX2 has left the bus would find the old device.
  if (!milliSleep(timing.reenumPauseMs)) return false;
  close();
  for (int attempt = 0; attempt < reopenAttempts; ++attempt) {
    if (!milliSleep(timing.reopenPauseMs)) return false;
    if (open(vendorId, productId, instance)) return true;
  }
  return false;
}

bool TFX2base::openX() {
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(nullptr, &list);
  if (count < 0) {
    err(static_cast<int>(count));
    return false;
  }
  libusb_device* chosen = nullptr;
  int passed = 0;
  for (ssize_t i = 0; i < count && !chosen; ++i) {
    libusb_device_descriptor desc;
    const int rc = libusb_get_device_descriptor(list[i], &desc);
    err(rc);
    if (rc < 0 || desc.idVendor != vendorId || desc.idProduct != productId) continue;
    if (passed++ == instance) chosen = list[i];
  }
  if (!chosen) {
    libusb_free_device_list(list, 1);
    return false;
  }
  libusb_device_handle* opened = nullptr;
  const int rc = libusb_open(chosen, &opened);
  libusb_free_device_list(list, 1);
  err(rc);
  if (rc != 0) return fail();
  std::unique_lock<std::shared_mutex> guard(handleLock);
  dev = chosen;
  handle = opened;
  return true;
}

bool TFX2base::open(uint16_t vendorId, uint16_t productId, int instance) {
  // A handle still open from an earlier bring-up would keep interface 0 claimed.
  close();
  this->vendorId = vendorId;
  this->productId = productId;
  this->instance = instance;
  if (!openX()) {
    milliSleep(timing.notFoundPauseMs);
    return false;
  }
  return prepare();
}

bool TFX2base::prepare() {
  // Linux refuses a configuration change while a driver holds an interface, so
  // the driver goes first.
  int rc = libusb_kernel_driver_active(handle, theInterface);
  err(rc);
  if (rc == 1) {
    rc = libusb_detach_kernel_driver(handle, theInterface);
    err(rc);
    if (rc < 0) return fail();
  } else if (rc != 0) {
    return fail();
  }
  const int setRc = libusb_set_configuration(handle, theConfiguration);
  err(setRc);
  if (setRc < 0 && setRc != LIBUSB_ERROR_BUSY) return fail();
  int config = 99;
  rc = libusb_get_configuration(handle, &config);
  err(rc);
  if (rc < 0) return fail();
  // Busy (another user of the device) is fine when the wanted configuration is already active.
  if (setRc == LIBUSB_ERROR_BUSY && config != theConfiguration) return fail();
  if (config == 0) {
    rc = libusb_set_configuration(handle, theConfiguration);
    err(rc);
    if (rc < 0) return fail();
  }
  rc = libusb_claim_interface(handle, theInterface);
  err(rc);
  if (rc < 0) return fail();
  return true;
}

bool TFX2base::fail() {
  close();
  return false;
}

int TFX2base::blockRead(int endpoint, uint8_t* buffer, int length, int& transferred) {
  int rc = 0;
  int received = 0;
  {
    std::shared_lock<std::shared_mutex> guard(handleLock);
    if (!handle) return -1;
    const unsigned timeout =
        length < readLongLength ? timing.readTimeoutMs : static_cast<unsigned>(length / 512);
    rc = interruptibleRead(endpoint, buffer, length, received, timeout);
  }
  transferred = received;
  if (rc == LIBUSB_ERROR_TIMEOUT) return 0;
  if (rc < 0) {
    err(rc);
    close();
  }
  return rc;
}

int TFX2base::interruptibleRead(int endpoint, uint8_t* buffer, int length, int& received, unsigned timeout) {
  const auto ep = static_cast<unsigned char>(endpoint);
  if (!cancel) return libusb_interrupt_transfer(handle, ep, buffer, length, &received, timeout);
  // A synchronous transfer cannot be cancelled, so the wait goes in slices with a look at cancel between.
  using clock = std::chrono::steady_clock;
  const auto end = clock::now() + std::chrono::milliseconds(timeout);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now()).count();
    const unsigned slice = static_cast<unsigned>(std::clamp<long long>(left, 1, readSliceMs));
    const int rc = libusb_interrupt_transfer(handle, ep, buffer, length, &received, slice);
    if (rc != LIBUSB_ERROR_TIMEOUT || received > 0 || cancelled() || clock::now() >= end) return rc;
  }
}
