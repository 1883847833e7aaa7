#include "device/simdevice.h"

#include <algorithm>
#include <cstring>

#include "hardware/ovimages.h"

namespace {

constexpr uint16_t cpuControl = 0xE600;
constexpr uint8_t targetConfig = 0x40, targetRegisters = 0x42, targetEeprom = 0x57;
constexpr unsigned eepromSerial = 0xE0, eepromChecksum = 0xF0, eepromPage = 16;
const char firmwareString0[] = "twr-sim fx2 firmware 1.0";
const char firmwareString1[] = "stand-in images";

enum : uint8_t {
  reqRam = 0xA0,
  reqString0 = 0xC0,
  reqString1 = 0xC1,
  reqClearFifo = 0xC2,
  reqResetFpga = 0xC3,
  reqLeds = 0xC6,
  reqRead = 0xC8,
  reqWrite = 0xC9,
  reqWriteRead = 0xCA,
  reqResult = 0xCB,
};

void putString(TsimDevice::Bytes& data, const char* text, unsigned length) {
  data.assign(length, 0);
  for (unsigned i = 0; i < length && text[i]; ++i) data[i] = uint8_t(text[i]);
}

}  // namespace

TsimDevice::TsimDevice(const TsimConfig& config)
    : fpga(config), stream(config), config(config), ram(0x10000, 0) {
  eeprom.fill(0xFF);
  for (unsigned i = 0; i < 16; ++i)
    eeprom[eepromSerial + i] = i < config.serial.size() ? config.serial[i] : 0;
  // Not the embedded image's checksum: the first bring-up has to program the FPGA.
  const uint32_t stale = ~fpgaConfigChecksum;
  for (unsigned i = 0; i < 4; ++i) eeprom[eepromChecksum + i] = uint8_t(stale >> (8 * i));
}

bool TsimDevice::control(const TsimSetup& setup, Bytes& data, Clock::time_point now) {
  bool ok = false;
  switch (setup.requestType & 0x60) {
    case 0x00:
      ok = standardRequest(setup, data);
      break;
    case 0x40:
      ok = vendorRequest(setup, data, now);
      break;
    default:
      break;
  }
  if (ok && setup.in() && data.size() > setup.length) data.resize(setup.length);
  return ok;
}

// ---- standard requests, answered by the FX2 core in every state

TsimDevice::Bytes TsimDevice::descriptors() const {
  const uint8_t strings = firmware ? 1 : 0;
  Bytes d = {18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, vendorId & 0xFF, vendorId >> 8, productId & 0xFF,
             productId >> 8,
             // bcdDevice: the bare chip reports its silicon revision, the firmware its own version.
             0x01, firmware ? uint8_t(0x00) : uint8_t(0xA0), strings, uint8_t(strings * 2),
             uint8_t(strings * 3), 1};
  const Bytes conf = {9, 2, 25, 0, 1, 1, 0, 0x80, 50,      // one interface, bus powered
                      9, 4, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0,  // interface 0, one endpoint
                      7, 5, streamEndpoint,
                      // The bare chip's endpoint is bulk; the firmware declares it interrupt.
                      firmware ? uint8_t(0x03) : uint8_t(0x02), 64, 0, firmware ? uint8_t(1) : uint8_t(0)};
  d.insert(d.end(), conf.begin(), conf.end());
  return d;
}

TsimDevice::Bytes TsimDevice::stringDescriptor(uint8_t index) const {
  std::string text;
  switch (index) {
    case 0:
      return {4, 3, 0x09, 0x04};
    case 1:
      text = "Tracewren";
      break;
    case 2:
      text = "Tracewren USB sniffer (simulated)";
      break;
    case 3:
      for (unsigned i = 0; i < 16 && eeprom[eepromSerial + i]; ++i) text += char(eeprom[eepromSerial + i]);
      break;
    default:
      return {};
  }
  Bytes d = {uint8_t(2 + 2 * text.size()), 3};
  for (char c : text) d.insert(d.end(), {uint8_t(c), 0});
  return d;
}

bool TsimDevice::standardRequest(const TsimSetup& setup, Bytes& data) {
  enum : uint8_t { getStatus = 0, clearFeature = 1, setFeature = 3, getDescriptor = 6, getConfiguration = 8 };
  enum : uint8_t { setConfiguration = 9, getInterface = 10, setInterface = 11 };
  switch (setup.request) {
    case getStatus:
      if (!setup.in()) return false;
      data = {0, 0};
      return true;
    case clearFeature:
    case setFeature:
      return !setup.in();
    case getDescriptor: {
      if (!setup.in()) return false;
      const uint8_t type = setup.value >> 8, index = setup.value & 0xFF;
      const Bytes all = descriptors();
      if (type == 1)
        data.assign(all.begin(), all.begin() + 18);
      else if (type == 2 && index == 0)
        data.assign(all.begin() + 18, all.end());
      else if (type == 3 && (firmware || index == 0))
        data = stringDescriptor(index);
      else
        data.clear();
      return !data.empty();
    }
    case getConfiguration:
      if (!setup.in()) return false;
      data = {configuration};
      return true;
    case setConfiguration:
      if (setup.in() || setup.value > 1) return false;
      configuration = uint8_t(setup.value);
      return true;
    case getInterface:
      if (!setup.in() || setup.index != 0) return false;
      data = {0};
      return true;
    case setInterface:
      return !setup.in() && setup.index == 0 && setup.value == 0;
    default:
      return false;
  }
}

// ---- vendor requests

bool TsimDevice::ramRequest(const TsimSetup& setup, Bytes& data) {
  const unsigned address = setup.value;
  if (address + setup.length > ram.size()) return false;
  if (setup.in()) {
    data.assign(ram.begin() + address, ram.begin() + address + setup.length);
    return true;
  }
  for (unsigned i = 0; i < data.size(); ++i) {
    if (address + i != cpuControl) {
      ram[address + i] = data[i];
      continue;
    }
    const bool hold = data[i] & 1;
    ram[cpuControl] = hold;
    if (hold && !cpuHeld) {
      firmware = false;
      stream.stop();
    } else if (!hold && cpuHeld) {
      // The firmware renumerates itself; anything else crashes and drops off the bus for good.
      busEvent = ramHoldsFirmware() && !config.has(TsimFault::neverReenumerate) ? BusEvent::renumerate
                                                                                : BusEvent::vanish;
    }
    cpuHeld = hold;
  }
  return true;
}

bool TsimDevice::ramHoldsFirmware() const {
  const unsigned length = fxprogLength();
  for (unsigned offset = 0; offset + 3 <= length;) {
    const unsigned n = fxprog[offset], address = fxprog[offset + 1] << 8 | fxprog[offset + 2];
    if (address + n > ram.size() || std::memcmp(&ram[address], &fxprog[offset + 3], n) != 0) return false;
    offset += 3 + n;
  }
  return true;
}

TsimDevice::BusEvent TsimDevice::takeBusEvent() {
  const BusEvent taken = busEvent;
  busEvent = BusEvent::none;
  return taken;
}

void TsimDevice::attached(bool runningFirmware) {
  firmware = runningFirmware;
  configuration = 1;
}

void TsimDevice::powerUp() {
  std::fill(ram.begin(), ram.end(), 0);
  firmware = false;
  cpuHeld = false;
  busEvent = BusEvent::none;
  haveResult = false;
  fpga.reset();
  stream.powerUp();
}

bool TsimDevice::vendorRequest(const TsimSetup& setup, Bytes& data, Clock::time_point now) {
  if (setup.request == reqRam) return ramRequest(setup, data);
  // Everything else is the firmware's: the bare chip stalls it.
  if (!firmware) return false;
  switch (setup.request) {
    case reqString0:
    case reqString1:
      if (!setup.in()) return false;
      putString(data, setup.request == reqString0 ? firmwareString0 : firmwareString1,
                std::min<unsigned>(setup.length, 64));
      return true;
    case reqClearFifo:
      stream.clearFifo();
      return !setup.in();
    case reqResetFpga:
      fpga.reset();
      stream.resetEncoder();
      return !setup.in();
    case reqLeds:
      leds = setup.value;
      return !setup.in();
    case reqRead:
      return setup.in() && targetRead(setup.value & 0xFF, setup.length, data, now);
    case reqWrite:
      return !setup.in() && targetWrite(setup.value & 0xFF, data, now);
    case reqWriteRead: {
      const unsigned withStatus = setup.value & 0xFF;
      return !setup.in() && withStatus > 0 && writeThenRead(setup.value >> 8, withStatus - 1, data, now);
    }
    case reqResult:
      if (!setup.in() || !haveResult) return false;
      data = lastResult;
      return true;
    default:
      return false;
  }
}

bool TsimDevice::targetWrite(uint8_t target, const Bytes& bytes, Clock::time_point now) {
  switch (target) {
    case targetConfig:
      fpga.configWrite(bytes, now);
      return true;
    case targetRegisters:
      if (!fpga.registerWrite(bytes)) return false;
      actOnFpgaCommand(now);
      return true;
    case targetEeprom:
      if (bytes.empty() || eepromBusy(now)) return false;
      eepromAddress = bytes[0];
      // Page writes wrap inside their 16-byte page, as on the part.
      for (size_t i = 1; i < bytes.size(); ++i) {
        eeprom[eepromAddress] = bytes[i];
        eepromAddress =
            uint8_t((eepromAddress & ~(eepromPage - 1)) | ((eepromAddress + 1) & (eepromPage - 1)));
      }
      if (bytes.size() > 1) eepromWriteEnd = now + std::chrono::milliseconds(config.eepromWriteMs);
      return true;
    default:
      return false;  // nobody acknowledges the address
  }
}

bool TsimDevice::targetRead(uint8_t target, unsigned n, Bytes& out, Clock::time_point now) {
  switch (target) {
    case targetRegisters:
      return fpga.registerRead(n, out);
    case targetEeprom:
      if (config.has(TsimFault::eepromReadFailure) || eepromBusy(now)) return false;
      out.resize(n);
      for (unsigned i = 0; i < n; ++i) out[i] = eeprom[eepromAddress++];
      return true;
    default:
      return false;
  }
}

bool TsimDevice::writeThenRead(uint8_t target, unsigned k, const Bytes& bytes, Clock::time_point now) {
  haveResult = false;
  Bytes result;
  switch (target) {
    case targetConfig:
      result = fpga.configRead(bytes, k, now);
      break;
    case targetRegisters:
      if (!targetWrite(target, bytes, now) || !targetRead(target, k, result, now)) return false;
      break;
    case targetEeprom:
      if (config.has(TsimFault::eepromReadFailure) || bytes.empty() || eepromBusy(now)) return false;
      eepromAddress = bytes[0];
      if (!targetRead(target, k, result, now)) return false;
      break;
    default:
      return false;
  }
  result.push_back(0);  // status byte: transfer completed
  lastResult = result;
  haveResult = true;
  return true;
}

void TsimDevice::actOnFpgaCommand(Clock::time_point now) {
  switch (fpga.takeCommand()) {
    case TsimFpga::cmdConnect:
      stream.holdTarget(true);
      break;
    case TsimFpga::cmdDisconnect:
      stream.holdTarget(false);
      break;
    case TsimFpga::cmdStream:
      stream.start(now);
      break;
    default:
      break;  // cmdEnd closes a command and changes nothing
  }
}

bool TsimDevice::eepromBusy(Clock::time_point now) const { return now < eepromWriteEnd; }
