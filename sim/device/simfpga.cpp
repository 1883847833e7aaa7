#include "device/simfpga.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "hardware/ovimages.h"

namespace {

constexpr uint32_t wrongIdCode = 0x012BA043;  // a different family member
constexpr uint64_t traceId = 0x5457520053494D31ull;
const char fpgaText[] = "twr-sim fpga 1";

enum : uint8_t {
  opEnable = 0xC6,
  opEnableX = 0x74,
  opErase = 0x0E,
  opInitAddr = 0x46,
  opRow = 0x70,
  opDone = 0x5E,
  opRefresh = 0x79,
  opDisable = 0x26,
  opBypass = 0xFF,
  opSetFeature = 0xF8,
  opBusy = 0xF0,
  opStatus = 0x3C,
  opId = 0xE0,
  opTrace = 0x19,
  opFeature = 0xFB,
};

// Status register bits of the configuration port.
enum : uint32_t {
  statusDone = 1u << 8,
  statusEnabled = 1u << 9,
  statusBusy = 1u << 12,
  statusFail = 1u << 13
};

// The operand bytes each command must carry; rows and feature bits add their data after them.
TsimFpga::Bytes operandsOf(uint8_t op) {
  switch (op) {
    case opEnable:
    case opEnableX:
      return {0x08, 0x00};
    case opErase:
      return {0x05, 0x00, 0x00};
    case opRow:
      return {0x00, 0x00, 0x01};
    case opRefresh:
    case opDisable:
      return {0x00, 0x00};
    case opBypass:
      return {0xFF, 0xFF, 0xFF};
    default:
      return {0x00, 0x00, 0x00};
  }
}

size_t dataBytesOf(uint8_t op) { return op == opRow ? 16 : op == opSetFeature ? 2 : 0; }

bool wellFormed(const TsimFpga::Bytes& bytes) {
  const TsimFpga::Bytes operands = operandsOf(bytes[0]);
  return bytes.size() == 1 + operands.size() + dataBytesOf(bytes[0]) &&
         std::equal(operands.begin(), operands.end(), bytes.begin() + 1);
}

TsimFpga::Bytes bigEndian(uint64_t value, unsigned width, unsigned k) {
  TsimFpga::Bytes out(k, 0);
  for (unsigned i = 0; i < width && i < k; ++i) out[i] = uint8_t(value >> (8 * (width - 1 - i)));
  return out;
}

}  // namespace

TsimFpga::TsimFpga(const TsimConfig& config) : config(config), configured(config.fpgaConfigured) {}

bool TsimFpga::busy(Clock::time_point now) const {
  return config.has(TsimFault::fpgaBusyForever) || now < busyUntil;
}

void TsimFpga::busyFor(unsigned ms, Clock::time_point now) {
  busyUntil = now + std::chrono::milliseconds(ms);
}

void TsimFpga::configWrite(const Bytes& bytes, Clock::time_point now) {
  if (!accept(bytes, now)) {
    failed = true;
    ++refused;
  }
}

// Carries out one configuration command; false when the port refuses it.
bool TsimFpga::accept(const Bytes& bytes, Clock::time_point now) {
  if (bytes.empty() || busy(now) || !wellFormed(bytes)) return false;
  const bool programming = mode == Mode::transparent;
  switch (bytes[0]) {
    case opEnable:
    case opEnableX:
      mode = bytes[0] == opEnableX ? Mode::transparent : Mode::offline;
      failed = false;
      return true;
    case opSetFeature:
      if (mode == Mode::user) return false;
      featureBits = uint16_t(bytes[4] << 8 | bytes[5]);
      busyFor(config.commandBusyMs, now);
      return true;
    case opErase:
      // The flash is rewritten only in the mode that keeps the port's own settings.
      if (!programming || featureBits != 0x0320) return false;
      ++erases;
      erased = true;
      configured = false;
      addressed = false;
      closing = Closing::none;
      holdsEmbeddedImage = false;
      rowsWritten = rowsMatching = 0;
      rowsCrc = 0;
      busyFor(config.eraseBusyMs, now);
      return true;
    case opInitAddr:
      if (!programming || !erased) return false;
      addressed = true;
      rowAddress = 0;
      busyFor(config.commandBusyMs, now);
      return true;
    case opRow:
      if (!programming || !addressed || closing != Closing::none) return false;
      if (rowAddress < fpgaConfigNumFrames &&
          std::memcmp(&bytes[4], &fpgaConfigData[rowAddress * 16], 16) == 0)
        ++rowsMatching;
      rowsCrc = crc32(rowsCrc, &bytes[4], 16);
      ++rowsWritten;
      ++rowAddress;
      return true;
    case opDone:
      if (!programming || rowsWritten == 0 || closing != Closing::none) return false;
      closing = Closing::done;
      busyFor(config.commandBusyMs, now);
      return true;
    case opRefresh:
      if (closing != Closing::done) return false;
      // The image carries its own check: anything but the whole embedded image fails to load.
      holdsEmbeddedImage = rowsWritten == fpgaConfigNumFrames && rowsMatching == rowsWritten && !failed;
      closing = Closing::refreshed;
      busyFor(config.refreshBusyMs, now);
      return true;
    case opDisable:
      if (mode == Mode::user) return false;
      mode = Mode::user;
      if (closing == Closing::refreshed) closing = Closing::disabled;
      busyFor(config.commandBusyMs, now);
      return true;
    case opBypass:
      if (mode != Mode::user) return false;
      // A new image runs only once it has been refreshed, the port disabled and bypassed.
      if (erased) configured = closing == Closing::disabled && holdsEmbeddedImage;
      erased = false;
      addressed = false;
      closing = Closing::none;
      return true;
    default:
      return false;
  }
}

TsimFpga::Bytes TsimFpga::configRead(const Bytes& command, unsigned k, Clock::time_point now) {
  const uint8_t op = command.empty() ? 0 : command[0];
  if (command.size() != 4 || !wellFormed(command)) return Bytes(k, 0xFF);
  switch (op) {
    case opBusy:
      return bigEndian(busy(now) ? 1 : 0, 1, k);
    case opStatus: {
      uint32_t status = 0;
      if (configured) status |= statusDone;
      if (mode != Mode::user) status |= statusEnabled;
      if (busy(now)) status |= statusBusy;
      if (failed) status |= statusFail;
      return bigEndian(status, 4, k);
    }
    case opId:
      return bigEndian(config.has(TsimFault::wrongFpgaId) ? wrongIdCode : idCode, 4, k);
    case opTrace:
      return bigEndian(traceId, 8, k);
    case opFeature:
      return bigEndian(featureBits, 2, k);
    default:
      return Bytes(k, 0xFF);
  }
}

bool TsimFpga::registerWrite(const Bytes& bytes) {
  if (!running()) return false;
  for (uint8_t b : bytes) {
    if ((b & 0xC0) == 0x00) {
      selected = b & 0x3F;
    } else if ((b & 0xC0) == 0x40) {
      regs[selected] = b & 0x3F;
      if (selected == 4) command = regs[4];
    }
  }
  return true;
}

bool TsimFpga::registerRead(unsigned n, Bytes& out) {
  if (!running()) return false;
  out.assign(n, 0);
  if (selected == 1) {
    for (unsigned i = 0; i < n && i < sizeof fpgaText - 1; ++i) out[i] = uint8_t(fpgaText[i]);
  } else if (n > 0) {
    out[0] = regs[selected];
  }
  return true;
}

uint8_t TsimFpga::takeCommand() {
  const uint8_t taken = command;
  command = 0;
  return taken;
}

void TsimFpga::reset() {
  std::memset(regs, 0, sizeof regs);
  selected = 0;
  command = 0;
}
