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

// Which rows belong to a filter's device, asked in row order: a packet by its
// transaction's token, a transaction and a transfer by their first token. A
// reset concerns every device and belongs to each; SOFs belong to none.
class TdeviceRows {
 public:
  TdeviceRows(const Tcapture& capture, const TrowFilter& filter) : capture(capture), filter(filter) {}
  bool belongs(std::size_t ix);

 private:
  // The row's device as address << 4 | endpoint, -1 for none.
  int deviceOf(std::size_t ix);

  const Tcapture& capture;
  TrowFilter filter;
  // The last two grouping rows asked for (a transfer and its transaction) and
  // their devices: their packets follow them.
  struct Tmemo {
    int64_t row = -1;
    int device = -1;
  };
  Tmemo memo[2];
};
