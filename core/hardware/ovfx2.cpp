#include "hardware/ovfx2.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

void LIBUSB_CALL onTransferDone(libusb_transfer* transfer) { *static_cast<int*>(transfer->user_data) = 1; }

int resultOf(const libusb_transfer& transfer) {
  switch (transfer.status) {
    case LIBUSB_TRANSFER_COMPLETED:
      return transfer.actual_length;
    case LIBUSB_TRANSFER_TIMED_OUT:
      return LIBUSB_ERROR_TIMEOUT;
    case LIBUSB_TRANSFER_STALL:
      return LIBUSB_ERROR_PIPE;
    case LIBUSB_TRANSFER_NO_DEVICE:
      return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_CANCELLED:
      return LIBUSB_ERROR_INTERRUPTED;
    default:
      return LIBUSB_ERROR_IO;
  }
}

}  // namespace

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
  const auto wValue = static_cast<uint16_t>(value), wIndex = static_cast<uint16_t>(index);
  const int rc =
      cancel ? interruptibleControl(requestType, request, wValue, wIndex, data, length, timeout)
             : libusb_control_transfer(handle, requestType, request, wValue, wIndex, data, length, timeout);
  err(rc);
  return rc;
}

int TFX2base::interruptibleControl(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                                   uint8_t* data, uint16_t length, unsigned timeout) {
  // What libusb_control_transfer does, with a look at cancel while it waits: a device that
  // stops answering would otherwise hold the caller for the whole time-out.
  std::vector<unsigned char> buffer(LIBUSB_CONTROL_SETUP_SIZE + length);
  libusb_fill_control_setup(buffer.data(), requestType, request, value, index, length);
  const bool in = requestType & LIBUSB_ENDPOINT_IN;
  if (!in && length > 0) std::copy(data, data + length, buffer.begin() + LIBUSB_CONTROL_SETUP_SIZE);
  libusb_transfer* transfer = libusb_alloc_transfer(0);
  if (!transfer) return LIBUSB_ERROR_NO_MEM;
  int completed = 0;
  libusb_fill_control_transfer(transfer, handle, buffer.data(), onTransferDone, &completed, timeout);
  int rc = libusb_submit_transfer(transfer);
  if (rc == 0) {
    bool cancelSent = false;
    while (!completed) {
      timeval slice{0, readSliceMs * 1000};
      libusb_handle_events_timeout_completed(nullptr, &slice, &completed);
      if (!completed && !cancelSent && cancelled()) cancelSent = libusb_cancel_transfer(transfer) == 0;
    }
    rc = resultOf(*transfer);
    if (in && rc > 0) std::copy_n(buffer.begin() + LIBUSB_CONTROL_SETUP_SIZE, rc, data);
  }
  libusb_free_transfer(transfer);
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
  openRefused = false;
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
  openRefused = rc == LIBUSB_ERROR_ACCESS;
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
