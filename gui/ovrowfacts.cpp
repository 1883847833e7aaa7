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

bool TdeviceRows::belongs(std::size_t ix) {
  if (capture.rowType(ix) == otReset) return true;
  const int device = deviceOf(ix);
  return device >= 0 && device >> 4 == filter.address &&
         (filter.endpoint < 0 || (device & 15) == filter.endpoint);
}

int TdeviceRows::deviceOf(std::size_t ix) {
  const uint32_t type = capture.rowType(ix);
  const auto row = static_cast<int64_t>(ix);
  for (const Tmemo& m : memo)
    if (m.row == row) return m.device;
  if (type == otTransax || type == otTransfer) {
    // Its first child comes right after it: a transaction, or the token.
    const bool hasChild = ix + 1 < capture.rowCount() && capture.parentRow(ix + 1) == row;
    const int device = hasChild ? deviceOf(ix + 1) : -1;
    memo[1] = memo[0];
    memo[0] = {row, device};
    return device;
  }
  if (!isPacket(type)) return -1;
  const int64_t parent = capture.parentRow(ix);
  for (const Tmemo& m : memo)
    if (m.row == parent && parent >= 0) return m.device;
  if (type == otToken) {
    uint32_t addr = 0, endp = 0;
    capture.rowTokenTarget(ix, addr, endp);
    return static_cast<int>(addr << 4 | endp);
  }
  return parent >= 0 ? deviceOf(static_cast<std::size_t>(parent)) : -1;
}
