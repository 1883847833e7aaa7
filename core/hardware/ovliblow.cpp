#include "hardware/ovliblow.h"

#include "hardware/ovlow.h"

TlibOvLow::TlibOvLow(const ThwTiming& timing) : ov(std::make_unique<TovLow>(timing)) {}

TlibOvLow::~TlibOvLow() = default;

bool TlibOvLow::snifferOpen() { return ov->FX2openAndReload(); }
bool TlibOvLow::isOpen() const { return ov->isOpen(); }
bool TlibOvLow::accessDenied() const { return ov->accessDenied(); }

int TlibOvLow::controlOut(uint8_t request, int value, int index, const uint8_t* data, uint16_t length) {
  return ov->controlOut(request, value, index, data, length);
}

int TlibOvLow::controlIn(uint8_t request, int value, int index, uint8_t* data, uint16_t length) {
  return ov->controlIn(request, value, index, data, length);
}

int TlibOvLow::blockIn(int endpoint, uint8_t* buffer, int length, int& received) {
  return ov->blockRead(endpoint, buffer, length, received);
}

bool TlibOvLow::leds(int pattern) { return controlOut(TovLow::reqLeds, pattern, 0, nullptr, 0) >= 0; }

bool TlibOvLow::getString(std::string& text, int which) {
  switch (which) {
    case 1:
      text = "Tracewren capture hardware layer";
      return true;
    case 2:
      text = std::string(__DATE__) + "," + __TIME__;
      return true;
    case 3:
      text = "TODO REAL SOON NOW";
      return true;
    default:
      text = "?";
      return false;
  }
}

bool TlibOvLow::clearSnifferFIFO() { return ov->clearFX2FIFO(); }
bool TlibOvLow::wrFpgaRegIx(int reg) { return ov->wrFpgaAddr(reg); }
bool TlibOvLow::updateFPGAneeded(bool& needed) { return ov->updateFPGAneeded(needed); }
bool TlibOvLow::fpgaIDok() { return ov->fpgaIDok(); }
bool TlibOvLow::updateFPGA(bool force) { return ov->updateFPGA(force); }
bool TlibOvLow::isBusy() { return ov->isBusy(); }
uint32_t TlibOvLow::getStatusReg() { return ov->getStatusReg(); }
uint32_t TlibOvLow::getIDReg() { return ov->getIDReg(); }
uint64_t TlibOvLow::getTraceReg() { return ov->getTraceReg(); }
void TlibOvLow::showCfgStatus() { ov->showCfgStatus(); }

bool TlibOvLow::eeRd(int target, int address, uint8_t* buffer, int length) {
  return ov->eeRd(target, address, buffer, length);
}

bool TlibOvLow::eeWr(int target, int address, const uint8_t* data, int length) {
  return ov->eeWr(target, address, data, length);
}

bool TlibOvLow::resetFPGA() { return ov->resetFPGA(); }
bool TlibOvLow::rdFpga(uint8_t* buffer, int n) { return ov->rdFpga(buffer, n); }
bool TlibOvLow::wrFpga(const uint8_t* buffer, int n) { return ov->wrFpga(buffer, n); }
bool TlibOvLow::rdFpgaReg(int reg, uint8_t& value) { return ov->rdFpgaReg(reg, value); }
bool TlibOvLow::wrFpgaReg(int reg, int value) { return ov->wrFpgaReg(reg, value); }
bool TlibOvLow::setTargetConnected(bool connect) { return ov->setTargetConnected(connect); }
bool TlibOvLow::startStreaming() { return ov->startStreaming(); }
void TlibOvLow::setCancel(const std::atomic<bool>* cancel) { ov->setCancel(cancel); }
bool TlibOvLow::enable() { return ov->enable(); }
bool TlibOvLow::enableX() { return ov->enableX(); }
bool TlibOvLow::erase() { return ov->erase(); }
bool TlibOvLow::initAddr() { return ov->initAddr(); }
bool TlibOvLow::done() { return ov->done(); }
bool TlibOvLow::refresh() { return ov->refresh(); }
bool TlibOvLow::disable() { return ov->disable(); }
bool TlibOvLow::bypass() { return ov->bypass(); }
