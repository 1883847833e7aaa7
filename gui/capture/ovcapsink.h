// Where the capture dialog shows its captures while they run: the main
// window's rows. The dialog reaches it only through these calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decode/ovcapture.h"

class TcaptureSink {
 public:
  virtual ~TcaptureSink() = default;
  // A capture starts: it is empty yet, shown from now on, and grows.
  virtual void captureStarted(const std::shared_ptr<Tcapture>& capture) = 0;
  // After each decode step: the rows from firstChanged on are new or made again (none when
  // firstChanged is the row count); capturedBytes is the capture's size so far.
  virtual void captureProgress(std::size_t firstChanged, uint64_t capturedBytes) = 0;
  // The capture is over and wholly decoded. kept: its rows stay shown; otherwise it made no
  // row or its decode failed, and what was shown before it comes back.
  virtual void captureEnded(bool kept) = 0;
  // The dialog closes. ok: what is shown stays; otherwise what was shown when it opened
  // comes back.
  virtual void dialogClosed(bool ok) = 0;
};
