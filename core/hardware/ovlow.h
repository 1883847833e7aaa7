// The capture device's vendor-request protocol: FPGA configuration port and
// in-system update, FPGA register port and EEPROM.
#pragma once

#include <cstdint>
#include <vector>

#include "hardware/ovfx2.h"

class TovLow : public TFX2base {
 public:
  static constexpr uint8_t targetConfig = 0x40;
  static constexpr uint8_t targetRegister = 0x42;
  static constexpr uint8_t targetEeprom = 0x57;
  static constexpr uint8_t reqString0 = 0xC0;
  static constexpr uint8_t reqString1 = 0xC1;
  static constexpr uint8_t reqClearFifo = 0xC2;
  static constexpr uint8_t reqResetFpga = 0xC3;
  static constexpr uint8_t reqLeds = 0xC6;
  static constexpr uint8_t reqRead = 0xC8;
  static constexpr uint8_t reqWrite = 0xC9;
  static constexpr uint8_t reqWriteRead = 0xCA;
  static constexpr uint8_t reqResult = 0xCB;
  static constexpr uint32_t fpgaIdCode = 0x012B9043;
  static constexpr uint16_t featureBits = 0x0320;
  static constexpr uint8_t eeSerialAddress = 0xE0;
  static constexpr uint8_t eeChecksumAddress = 0xF0;
  static constexpr int eeLine = 16;
  static constexpr int rowBytes = 16;
  // Register 4 of the register port switches the target link and starts the stream.
  static constexpr int regTargetControl = 4;
  enum : int { ctlCommandEnd = 1, ctlStartStream = 2, ctlDisconnect = 32, ctlConnect = 36 };

  explicit TovLow(const ThwTiming& timing = ThwTiming());

  // Vendor requests with index 0 and the control time-out; libusb's result.
  int controlOut(uint8_t request, int value, int index, const uint8_t* data, uint16_t length);
  int controlIn(uint8_t request, int value, int index, uint8_t* data, uint16_t length);

  bool resetFPGA();
  bool clearFX2FIFO();
  bool rdFpga(uint8_t* buffer, int n);
  bool wrFpga(const uint8_t* buffer, int n);
  bool wrFpgaAddr(int reg);
  bool rdFpgaReg(int reg, uint8_t& value);
  bool wrFpgaReg(int reg, int value);
  // Connects (true) or disconnects the target from its host; the result of the closing write.
  bool setTargetConnected(bool connect);
  bool startStreaming();

  bool enable();
  bool enableX();
  bool erase();
  bool initAddr();
  bool sendRow(const uint8_t* row);
  bool done();
  bool refresh();
  bool disable();
  bool bypass();
  bool setFEAbits(uint16_t value);
  bool isBusy();
  // False when the FPGA still reports busy (or does not answer) after timing.busyLimitMs,
  // or when cancelled.
  bool waitNotBusy();
  uint32_t getStatusReg();
  uint32_t getIDReg();
  uint64_t getTraceReg();
  uint16_t getFEAbits();
  bool fpgaIDok();
  void showCfgStatus();

  // One 16-byte line at most; the read covers the line that holds address.
  bool eeRd(int target, int address, uint8_t* buffer, int length);
  bool eeWr(int target, int address, const uint8_t* data, int length);

  bool updateFPGAneeded(bool& needed);
  // Programs the embedded image when the EEPROM checksum differs or force is set;
  // the checksum is written only after a programming in which every step succeeded.
  bool updateFPGA(bool force);
  bool reloadFX2();
  bool FX2openAndReload();

 private:
  bool cfgWr(const std::vector<uint8_t>& bytes);
  bool cfgWrRd(const std::vector<uint8_t>& bytes, int n);
  int wrRdGetResult(std::vector<uint8_t>& buffer);
  // k bytes read back after the command, big-endian; 0 when the read-back failed.
  uint64_t cfgGetReg(const std::vector<uint8_t>& command, int k);
  static uint64_t getN(const uint8_t* bytes, int n);
  // The register value of cfgGetReg, with whether both requests succeeded.
  bool cfgQuery(const std::vector<uint8_t>& command, int k, uint64_t& value);

  std::vector<uint8_t> readBack;
};
