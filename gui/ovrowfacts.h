// What the Filter menu's filters ask of a row, read from the capture's
// records without making its object, so that millions of rows are read at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/ovcapture.h"
#include "ovrowfilter.h"

// Whether a row has an error of its own: a packet or reset with an error flag
// (PID check, illegal PID, SE1, length, CRC), or a transaction nobody
// answered: a token with nothing after it, or a SETUP without handshake.
// (IN and OUT data without a handshake is how isochronous endpoints talk.)
// row: the row's summary.
bool hasOwnError(const Tcapture& capture, std::size_t ix, const TrowSummary& row);

// A row's device as the device filter sees it: noDevice for SOFs and rows
// without a token, everyDevice for a bus reset (it concerns them all), else
// deviceCode of its address and endpoint.
constexpr uint16_t noDevice = 0;
constexpr uint16_t everyDevice = 1;
constexpr uint16_t deviceCodes = 2 + 128 * 16;
inline uint16_t deviceCode(uint32_t address, uint32_t endpoint) {
  return static_cast<uint16_t>(2 + ((address & 127) << 4 | (endpoint & 15)));
}
// Always true for a filter without a device.
bool deviceMatches(uint16_t device, const TrowFilter& filter);

// The devices of rows, asked in row order: a packet's is its transaction's
// token's, a transaction's and a transfer's their first token's.
class TrowDevices {
 public:
  explicit TrowDevices(const Tcapture& capture) : capture(capture) {}
  uint16_t of(std::size_t ix);

 private:
  const Tcapture& capture;
  // The last two grouping rows asked for (a transfer and its transaction) and
  // their devices: their packets follow them.
  struct Tmemo {
    int64_t row = -1;
    uint16_t device = noDevice;
  };
  Tmemo memo[2];
};
