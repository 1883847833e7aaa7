// The simulated sniffer on a umockdev testbed: a process that creates a TsimSniffer and then
// initialises libusb sees the capture device on its USB bus (with the umockdev preload
// library linked in or preloaded). Create it before libusb_init and destroy it after
// libusb_exit.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "device/simconfig.h"

// What the device has seen and done, for tests to check.
struct TsimStatus {
  bool onBus = false;
  int devnum = 0;         // device number on bus 1; 0 while off the bus
  unsigned arrivals = 0;  // times the device appeared on the bus
  bool firmwareRunning = false;
  bool cpuHeld = false;
  bool kernelDriverBound = false;
  bool interfaceClaimed = false;
  uint8_t configuration = 0;
  // FPGA configuration port
  unsigned fpgaErases = 0;
  unsigned fpgaRefused = 0;  // configuration commands the port did not take
  unsigned fpgaRowsWritten = 0;
  unsigned fpgaRowsMatching = 0;
  uint32_t fpgaRowsCrc = 0;
  bool fpgaHoldsEmbeddedImage = false;
  bool fpgaRunning = false;
  uint16_t fpgaFeatureBits = 0;
  std::array<uint8_t, 256> eeprom{};
  uint16_t leds = 0;
  bool targetConnected = false;
  bool streaming = false;
  uint64_t streamBytes = 0;  // bytes delivered on the stream endpoint
};

class TsimSniffer {
 public:
  explicit TsimSniffer(const TsimConfig& config = {});
  ~TsimSniffer();
  TsimSniffer(const TsimSniffer&) = delete;
  TsimSniffer& operator=(const TsimSniffer&) = delete;

  TsimStatus status() const;
  // Pulls the cable: open handles fail with "no device" and pending reads end.
  void unplug();
  // Plugs the box in again, powered up as a bare FX2.
  void plug();
  void setFault(TsimFault fault, bool on);
  // Control requests made in the next ms milliseconds get no answer at all; the host's
  // time-out ends them.
  void stopAnswering(unsigned ms);
  // The stream delivers nothing for the next ms milliseconds.
  void stallStream(unsigned ms);
  // The testbed's root directory, as umockdev's UMOCKDEV_DIR names it.
  std::string rootDir() const;

  class Timpl;

 private:
  std::unique_ptr<Timpl> impl;
};
