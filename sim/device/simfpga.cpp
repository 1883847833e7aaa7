#include "device/simfpga.h"

#include <zlib.h>

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

bool TsimFpga::configWrite(const Bytes& bytes, Clock::time_point now) {
  if (bytes.empty()) return false;
  switch (bytes[0]) {
    case opEnable:
    case opEnableX:
      configMode = true;
      break;
    case opErase:
      if (!configMode) break;
      ++erases;
      configured = false;
      doneBit = false;
      holdsEmbeddedImage = false;
      rowsWritten = rowsMatching = 0;
      rowsCrc = 0;
      busyUntil = now + std::chrono::milliseconds(config.eraseBusyMs);
      break;
    case opInitAddr:
      rowAddress = 0;
      break;
    case opRow:
      // Rows sent outside configuration mode or while the array is busy are lost, as on the part.
      if (bytes.size() != 20 || !configMode || busy(now)) break;
      if (rowAddress < fpgaConfigNumFrames &&
          std::memcmp(&bytes[4], &fpgaConfigData[rowAddress * 16], 16) == 0)
        ++rowsMatching;
      rowsCrc = crc32(rowsCrc, &bytes[4], 16);
      ++rowsWritten;
      ++rowAddress;
      break;
    case opDone:
      if (configMode && rowsWritten > 0) doneBit = true;
      break;
    case opRefresh:
      ++refreshes;
      configMode = false;
      // The image carries its own check: anything but the whole embedded image fails to load.
      holdsEmbeddedImage = doneBit && rowsWritten == fpgaConfigNumFrames && rowsMatching == rowsWritten;
      if (doneBit || erases > 0) configured = holdsEmbeddedImage;
      break;
    case opDisable:
      configMode = false;
      break;
    case opSetFeature:
      if (bytes.size() >= 6) featureBits = uint16_t(bytes[4] << 8 | bytes[5]);
      break;
    default:
      break;
  }
  return true;
}

TsimFpga::Bytes TsimFpga::configRead(const Bytes& command, unsigned k, Clock::time_point now) {
  const uint8_t op = command.empty() ? 0 : command[0];
  switch (op) {
    case opBusy:
      return bigEndian(busy(now) ? 1 : 0, 1, k);
    case opStatus: {
      uint32_t status = 0;
      if (configured) status |= statusDone;
      if (configMode) status |= statusEnabled;
      if (busy(now)) status |= statusBusy;
      if (!configured && !configMode) status |= statusFail;
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
