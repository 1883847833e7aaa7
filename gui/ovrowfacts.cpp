#include "ovrowfacts.h"

namespace {

bool isPacket(uint32_t type) { return type >= otToken && type <= otHandshake; }

}  // namespace

bool hasOwnError(const Tcapture& capture, std::size_t ix, const TrowSummary& row) {
  if (row.objType <= otHandshake) return row.errors != 0;
  if (row.objType != otTransax || row.pid != 0) return false;
  // No handshake. Its packets follow it: the token, then a data packet if any.
  const auto self = static_cast<int64_t>(ix);
  const bool hasToken = ix + 1 < capture.rowCount() && capture.parentRow(ix + 1) == self;
  const bool hasData = hasToken && ix + 2 < capture.rowCount() && capture.parentRow(ix + 2) == self &&
                       capture.rowType(ix + 2) == otData;
  return !hasData || capture.rowSummary(ix + 1).pid == pidSetup;
}

bool deviceMatches(uint16_t device, const TrowFilter& filter) {
  if (!filter.byDevice() || device == everyDevice) return true;
  if (device == noDevice) return false;
  const int target = device - deviceCode(0, 0);
  return target >> 4 == filter.address && (filter.endpoint < 0 || (target & 15) == filter.endpoint);
}

uint16_t TrowDevices::of(std::size_t ix) {
  const uint32_t type = capture.rowType(ix);
  if (type == otReset) return everyDevice;
  const auto row = static_cast<int64_t>(ix);
  for (const Tmemo& m : memo)
    if (m.row == row) return m.device;
  if (type == otTransax || type == otTransfer) {
    // Its first child comes right after it: a transaction, or the token.
    const bool hasChild = ix + 1 < capture.rowCount() && capture.parentRow(ix + 1) == row;
    const uint16_t device = hasChild ? of(ix + 1) : noDevice;
    memo[1] = memo[0];
    memo[0] = {row, device};
    return device;
  }
  if (!isPacket(type)) return noDevice;
  const int64_t parent = capture.parentRow(ix);
  for (const Tmemo& m : memo)
    if (m.row == parent && parent >= 0) return m.device;
  if (type == otToken) {
    uint32_t addr = 0, endp = 0;
    capture.rowTokenTarget(ix, addr, endp);
    return deviceCode(addr, endp);
  }
  return parent >= 0 ? of(static_cast<std::size_t>(parent)) : noDevice;
}
