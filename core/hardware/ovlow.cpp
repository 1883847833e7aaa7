#include "hardware/ovlow.h"

#include <libusb.h>

#include <chrono>

#include "hardware/ovimages.h"

namespace {

const std::vector<uint8_t> cmdEnable{0xC6, 0x08, 0x00};
const std::vector<uint8_t> cmdEnableX{0x74, 0x08, 0x00};
const std::vector<uint8_t> cmdErase{0x0E, 0x05, 0x00, 0x00};
const std::vector<uint8_t> cmdInitAddr{0x46, 0x00, 0x00, 0x00};
const std::vector<uint8_t> cmdSendRow{0x70, 0x00, 0x00, 0x01};
const std::vector<uint8_t> cmdDone{0x5E, 0x00, 0x00, 0x00};
const std::vector<uint8_t> cmdRefresh{0x79, 0x00, 0x00};
const std::vector<uint8_t> cmdDisable{0x26, 0x00, 0x00};
const std::vector<uint8_t> cmdBypass{0xFF, 0xFF, 0xFF, 0xFF};
const std::vector<uint8_t> cmdSetFEAbits{0xF8, 0x00, 0x00, 0x00};
const std::vector<uint8_t> cmdIsBusy{0xF0, 0x00, 0x00, 0x00};
const std::vector<uint8_t> cmdStatusReg{0x3C, 0x00, 0x00, 0x00};
const std::vector<uint8_t> cmdIDReg{0xE0, 0x00, 0x00, 0x00};
const std::vector<uint8_t> cmdTraceReg{0x19, 0x00, 0x00, 0x00};
const std::vector<uint8_t> cmdGetFEAbits{0xFB, 0x00, 0x00, 0x00};

constexpr uint8_t typeOut = LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_ENDPOINT_OUT;
constexpr uint8_t typeIn = LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_ENDPOINT_IN;

}  // namespace

TovLow::TovLow(const ThwTiming& timing) : TFX2base(timing) {}

int TovLow::controlOut(uint8_t request, int value, int index, const uint8_t* data, uint16_t length) {
  // libusb does not write into the data of an OUT request.
  return controlMsg(typeOut, request, value, index, const_cast<uint8_t*>(data), length, controlTimeout);
}

int TovLow::controlIn(uint8_t request, int value, int index, uint8_t* data, uint16_t length) {
  return controlMsg(typeIn, request, value, index, data, length, controlTimeout);
}

bool TovLow::resetFPGA() { return controlOut(reqResetFpga, 0, 0, nullptr, 0) >= 0; }

bool TovLow::clearFX2FIFO() { return controlOut(reqClearFifo, 0, 0, nullptr, 0) >= 0; }

bool TovLow::rdFpga(uint8_t* buffer, int n) {
  return controlIn(reqRead, targetRegister, 0, buffer, static_cast<uint16_t>(n)) >= 0;
}

bool TovLow::wrFpga(const uint8_t* buffer, int n) {
  return controlOut(reqWrite, targetRegister, 0, buffer, static_cast<uint16_t>(n)) >= 0;
}

bool TovLow::wrFpgaAddr(int reg) {
  const uint8_t select = static_cast<uint8_t>(reg & 63);
  return wrFpga(&select, 1);
}

bool TovLow::rdFpgaReg(int reg, uint8_t& value) {
  value = 0;
  if (!wrFpgaAddr(reg)) return false;
  uint8_t bytes[2] = {0, 0};
  const bool ok = rdFpga(bytes, 2);
  value = bytes[0];
  return ok;
}

bool TovLow::wrFpgaReg(int reg, int value) {
  // Top bits 00 select a register, 01 carry a 6-bit value for it.
  const uint8_t bytes[2] = {static_cast<uint8_t>(reg & 63), static_cast<uint8_t>(0x40 + (value & 63))};
  return wrFpga(bytes, 2);
}

bool TovLow::setTargetConnected(bool connect) {
  wrFpgaReg(regTargetControl, connect ? ctlConnect : ctlDisconnect);
  return wrFpgaReg(regTargetControl, ctlCommandEnd);
}

bool TovLow::startStreaming() { return wrFpgaReg(regTargetControl, ctlStartStream); }

bool TovLow::cfgWr(const std::vector<uint8_t>& bytes) {
  return controlOut(reqWrite, targetConfig, 0, bytes.data(), static_cast<uint16_t>(bytes.size())) >= 0;
}

bool TovLow::cfgWrRd(const std::vector<uint8_t>& bytes, int n) {
  return controlOut(reqWriteRead, targetConfig * 256 + n, 0, bytes.data(),
                    static_cast<uint16_t>(bytes.size())) >= 0;
}

int TovLow::wrRdGetResult(std::vector<uint8_t>& buffer) {
  return controlIn(reqResult, 0, 0, buffer.data(), static_cast<uint16_t>(buffer.size()));
}

bool TovLow::cfgQuery(const std::vector<uint8_t>& command, int k, uint64_t& value) {
  const bool sent = cfgWrRd(command, k + 1);
  // Zeroed so that a failed fetch cannot return an earlier answer (a stale ID would pass).
  readBack.assign(k + 1, 0);
  const bool fetched = wrRdGetResult(readBack) >= 0;
  value = getN(readBack.data(), k);
  return sent && fetched;
}

uint64_t TovLow::cfgGetReg(const std::vector<uint8_t>& command, int k) {
  uint64_t value = 0;
  cfgQuery(command, k, value);
  return value;
}

uint64_t TovLow::getN(const uint8_t* bytes, int n) {
  uint64_t value = 0;
  for (int i = 0; i < n; ++i) value = (value << 8) | bytes[i];
  return value;
}

bool TovLow::enable() { return cfgWr(cmdEnable); }
bool TovLow::enableX() { return cfgWr(cmdEnableX); }
bool TovLow::erase() { return cfgWr(cmdErase); }
bool TovLow::initAddr() { return cfgWr(cmdInitAddr); }
bool TovLow::done() { return cfgWr(cmdDone); }
bool TovLow::refresh() { return cfgWr(cmdRefresh); }
bool TovLow::disable() { return cfgWr(cmdDisable); }
bool TovLow::bypass() { return cfgWr(cmdBypass); }

bool TovLow::sendRow(const uint8_t* row) {
  std::vector<uint8_t> bytes(cmdSendRow);
  bytes.insert(bytes.end(), row, row + rowBytes);
  return cfgWr(bytes);
}

bool TovLow::setFEAbits(uint16_t value) {
  std::vector<uint8_t> bytes(cmdSetFEAbits);
  bytes.push_back(static_cast<uint8_t>(value >> 8));
  bytes.push_back(static_cast<uint8_t>(value & 0xFF));
  const bool ok = cfgWr(bytes);
  waitNotBusy();
  return ok;
}

bool TovLow::isBusy() { return cfgGetReg(cmdIsBusy, 1) != 0; }

bool TovLow::waitNotBusy() {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(timing.busyLimitMs);
  for (;;) {
    // An unanswered query says nothing, so only an answered "not busy" ends the wait early.
    uint64_t busy = 1;
    if (cfgQuery(cmdIsBusy, 1, busy) && busy == 0) return true;
    if (clock::now() >= deadline || cancelled()) return false;
  }
}

uint32_t TovLow::getStatusReg() { return static_cast<uint32_t>(cfgGetReg(cmdStatusReg, 4)); }
uint32_t TovLow::getIDReg() { return static_cast<uint32_t>(cfgGetReg(cmdIDReg, 4)); }
uint64_t TovLow::getTraceReg() { return cfgGetReg(cmdTraceReg, 8); }
uint16_t TovLow::getFEAbits() { return static_cast<uint16_t>(cfgGetReg(cmdGetFEAbits, 2)); }

bool TovLow::fpgaIDok() { return getIDReg() == fpgaIdCode; }

void TovLow::showCfgStatus() {}

bool TovLow::eeRd(int target, int address, uint8_t* buffer, int length) {
  if (length < 0 || length > eeLine) return false;
  const uint8_t line = static_cast<uint8_t>(address & 0xF0);
  if (controlOut(reqWriteRead, target * 256 + eeLine + 1, 0, &line, 1) < 0) return false;
  readBack.assign(length + 1, 0);
  const bool ok = wrRdGetResult(readBack) >= 0;
  for (int i = 0; i < length; ++i) buffer[i] = readBack[i];
  return ok;
}

bool TovLow::eeWr(int target, int address, const uint8_t* data, int length) {
  std::vector<uint8_t> message{static_cast<uint8_t>(address & 0xFF)};
  if (length > 0) message.insert(message.end(), data, data + length);
  const bool ok = controlOut(reqWrite, target, 0, message.data(), static_cast<uint16_t>(message.size())) >= 0;
  // The EEPROM ignores requests during its write cycle.
  milliSleep(timing.eepromWriteMs);
  return ok;
}

bool TovLow::updateFPGAneeded(bool& needed) {
  uint8_t line[eeLine];
  if (!eeRd(targetEeprom, eeChecksumAddress, line, eeLine)) return false;
  const uint32_t stored = line[0] | line[1] << 8 | line[2] << 16 | static_cast<uint32_t>(line[3]) << 24;
  needed = stored != fpgaConfigChecksum;
  return true;
}

bool TovLow::updateFPGA(bool force) {
  if (!fpgaIDok()) return false;
  bool needed = false;
  if (!updateFPGAneeded(needed)) return false;
  if (!force && !needed) return true;

  showCfgStatus();
  enableX();
  if (getFEAbits() != featureBits) setFEAbits(featureBits);

  // A wait that runs out means the FPGA is stuck; what follows would not be taken.
  bool ok = erase();
  if (!waitNotBusy()) return false;
  ok = initAddr() && ok;
  if (!waitNotBusy()) return false;
  for (uint32_t row = 0; row < fpgaConfigNumFrames; ++row)
    ok = sendRow(fpgaConfigData + row * rowBytes) && ok;
  ok = done() && ok;
  if (!waitNotBusy()) return false;
  ok = refresh() && ok;
  // The port takes nothing while the FPGA loads the new image.
  milliSleep(timing.refreshPauseMs);
  ok = disable() && ok;
  if (!waitNotBusy()) return false;
  ok = bypass() && ok;

  // Marking a failed programming as current would stop it from ever being redone.
  if (ok) {
    const uint8_t sum[4] = {
        static_cast<uint8_t>(fpgaConfigChecksum), static_cast<uint8_t>(fpgaConfigChecksum >> 8),
        static_cast<uint8_t>(fpgaConfigChecksum >> 16), static_cast<uint8_t>(fpgaConfigChecksum >> 24)};
    eeWr(targetEeprom, eeChecksumAddress, sum, 4);
  }
  return ok;
}

bool TovLow::reloadFX2() { return FX2reload(fxprog, fxprogLength()); }

bool TovLow::FX2openAndReload() { return open(fx2VendorId, fx2ProductId, 0) && reloadFX2(); }
