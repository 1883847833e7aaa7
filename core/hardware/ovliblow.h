// The device interface used by the capture thread, the C interface and the
// capture dialog: owns one TovLow and forwards to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "hardware/ovfx2.h"

class TovLow;

class TlibOvLow {
 public:
  explicit TlibOvLow(const ThwTiming& timing = ThwTiming());
  ~TlibOvLow();
  TlibOvLow(const TlibOvLow&) = delete;
  TlibOvLow& operator=(const TlibOvLow&) = delete;

  bool snifferOpen();
  bool isOpen() const;
  // The last open attempt found the sniffer but was not allowed to use it.
  bool accessDenied() const;
  int controlOut(uint8_t request, int value, int index, const uint8_t* data, uint16_t length);
  int controlIn(uint8_t request, int value, int index, uint8_t* data, uint16_t length);
  int blockIn(int endpoint, uint8_t* buffer, int length, int& received);
  // True when the device took the request.
  bool leds(int pattern);
  // Build information of this layer, no device access: 1 a notice, 2 the build
  // date and time, 3 a fixed text; anything else gives "?" and false.
  bool getString(std::string& text, int which);

  bool clearSnifferFIFO();
  bool wrFpgaRegIx(int reg);
  bool updateFPGAneeded(bool& needed);
  bool fpgaIDok();
  bool updateFPGA(bool force);
  bool isBusy();
  uint32_t getStatusReg();
  uint32_t getIDReg();
  uint64_t getTraceReg();
  void showCfgStatus();
  bool eeRd(int target, int address, uint8_t* buffer, int length);
  bool eeWr(int target, int address, const uint8_t* data, int length);
  bool resetFPGA();
  bool rdFpga(uint8_t* buffer, int n);
  bool wrFpga(const uint8_t* buffer, int n);
  bool rdFpgaReg(int reg, uint8_t& value);
  bool wrFpgaReg(int reg, int value);
  // Safe from any thread, also while the device is being opened or closed.
  bool setTargetConnected(bool connect);
  bool startStreaming();
  // Pauses and reads give up once cancel is raised.
  void setCancel(const std::atomic<bool>* cancel);
  bool enable();
  bool enableX();
  bool erase();
  bool initAddr();
  bool done();
  bool refresh();
  bool disable();
  bool bypass();

 private:
  std::unique_ptr<TovLow> ov;
};
