// A capture decoded while the capture thread makes it: each poll takes what
// the thread has published since the last one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "decode/ovchain.h"
#include "hardware/ovlothrd.h"

class TliveDecode {
 public:
  // Decodes into `into` (empty; others may show it meanwhile) the capture `lo`
  // runs after its last request. Every poll must come before lo.takeCapture(),
  // which moves the bytes.
  TliveDecode(const TloThread& lo, std::shared_ptr<Tcapture> into);

  // Takes the bytes published since the last poll, in pieces, until none is
  // left or `budget` has passed; once the capture has ended, the last of them
  // as its end. Returns true when everything is decoded: the capture has ended.
  bool poll(std::chrono::milliseconds budget);

  // Raw bytes decoded so far.
  uint64_t decodedBytes() const { return taken; }
  // The first row the last poll changed (the row count when it changed none):
  // the rows before it are as they were.
  std::size_t firstChangedRow() const { return changedRow; }
  // The rows no later byte can change (all of them once the capture is decoded).
  std::size_t finalRows() const { return finished ? out->rowCount() : chain.finalRows(); }

 private:
  const TloThread& lo;
  std::shared_ptr<Tcapture> out;
  TdecodeChain chain;
  uint64_t taken = 0;
  bool finished = false;
  std::size_t changedRow = 0;
};
