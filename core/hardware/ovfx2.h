// The FX2 end of the capture device: libusb set-up, vendor control requests,
// FX2 RAM access with the firmware download, opening and block reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <shared_mutex>

struct libusb_device;
struct libusb_device_handle;

// Pauses and limits of the hardware layer. The defaults suit the real device;
// tests shorten them so a simulated device can be driven quickly.
struct ThwTiming {
  unsigned reenumPauseMs = 2000;   // FX2 leaving the bus after its CPU starts
  unsigned reopenPauseMs = 200;    // before each re-open attempt
  unsigned notFoundPauseMs = 500;  // after a search that found nothing
  unsigned readTimeoutMs = 5000;   // block reads below readLongLength
  unsigned busyLimitMs = 5000;     // longest wait for the FPGA's busy flag to clear
  unsigned threadPeriodMs = 250;   // capture thread cycle
  unsigned refreshPauseMs = 5;     // FPGA loading its image after a refresh
  unsigned eepromWriteMs = 10;     // EEPROM write cycle
};

// Sleeps ms milliseconds unless flag is (or becomes) raised; false when it was.
bool sleepUnlessRaised(unsigned ms, const std::atomic<bool>* flag);

// Owns libusb's default context and at most one open handle. Operations report
// failure as bool, as a failure count or as a negative libusb code, and keep the
// last negative libusb code in lastError; nothing throws.
// Another thread may issue control requests at any time: the handle is freed
// only while no request is using it, and a closed device fails them with -1.
class TFX2base {
 public:
  static constexpr unsigned controlTimeout = 5000;  // ms, every control request
  static constexpr uint8_t firmwareLoadRequest = 0xA0;
  static constexpr uint32_t ramChunk = 16;
  static constexpr uint32_t cpuControlAddress = 0xE600;
  static constexpr uint16_t fx2VendorId = 0x04B4;
  static constexpr uint16_t fx2ProductId = 0x8613;
  static constexpr int theInterface = 0;
  static constexpr int theConfiguration = 1;
  static constexpr int reopenAttempts = 25;
  static constexpr int readLongLength = 2560000;  // from here on 1 ms per 512 bytes

  explicit TFX2base(const ThwTiming& timing = ThwTiming());
  ~TFX2base();
  TFX2base(const TFX2base&) = delete;
  TFX2base& operator=(const TFX2base&) = delete;

  // Pauses, re-open attempts, control requests and block reads end early once cancel is raised.
  void setCancel(const std::atomic<bool>* cancel) { this->cancel = cancel; }
  bool cancelled() const { return cancel && *cancel; }
  // False when cancelled before the time was up.
  bool milliSleep(unsigned ms);
  void close();
  void err(int rc);
  // Bytes transferred or a negative libusb code; -1 when closed. Bit 7 of the
  // request type gives the direction.
  int controlMsg(uint8_t requestType, uint8_t request, int value, int index, uint8_t* data, uint16_t length,
                 unsigned timeout);
  // Number of failed 16-byte requests (0 = success; 1 when closed).
  unsigned WriteRAM(uint32_t address, const uint8_t* buffer, uint32_t length, unsigned timeout);
  unsigned ReadRAM(uint32_t address, uint8_t* buffer, uint32_t length, unsigned timeout);
  bool FX2setResetBit(bool hold);
  // Writes a record stream (count, address high, address low, data) into RAM.
  bool programEmbedded(const uint8_t* image, uint32_t length);
  // Loads the image with the CPU held, starts it and re-opens the device once it
  // has re-enumerated; false when it never comes back.
  bool FX2reload(const uint8_t* image, uint32_t length);
  bool open(uint16_t vendorId, uint16_t productId, int instance);
  // The last open found the device but the system refused access to it (no udev rule for the user).
  bool accessDenied() const { return openRefused; }
  // 0 on success or time-out (transferred tells what arrived), a negative libusb
  // code otherwise, after which the device is closed; -1 when closed.
  int blockRead(int endpoint, uint8_t* buffer, int length, int& transferred);
  bool isOpen() const;

  libusb_device* dev;
  libusb_device_handle* handle;  // set and cleared by the opening thread only
  std::atomic<int32_t> lastError;
  uint16_t vendorId;
  uint16_t productId;
  int32_t instance;
  bool libusbReady;
  ThwTiming timing;

 private:
  // While cancel can be raised, waits for the device go in slices this long.
  static constexpr unsigned readSliceMs = 50;

  unsigned RAMop(uint32_t address, uint8_t* buffer, uint32_t length, uint8_t requestType, unsigned timeout);
  bool openX();
  bool prepare();
  bool fail();
  int interruptibleRead(int endpoint, uint8_t* buffer, int length, int& received, unsigned timeout);
  int interruptibleControl(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                           uint8_t* data, uint16_t length, unsigned timeout);

  const std::atomic<bool>* cancel = nullptr;
  bool openRefused = false;
  mutable std::shared_mutex handleLock;  // shared by requests, exclusive to free or replace the handle
};
