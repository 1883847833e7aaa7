// The decode stages in their one order: raw capture bytes, bus events, packet
// objects, the tree and display rows. A capture is fed whole or as it arrives,
// in pieces of any size; either way the results are those of the whole.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "decode/ovbin2obj.h"
#include "decode/ovcapture.h"
#include "decode/ovobj2tree.h"
#include "decode/ovraw.h"
#include "decode/ovraw2bin.h"
#include "decode/ovtree2lin.h"

class TdecodeChain {
 public:
  // Appends to `into`, which starts empty and must outlive the chain.
  explicit TdecodeChain(Tcapture& into);
  TdecodeChain(const TdecodeChain&) = delete;
  TdecodeChain& operator=(const TdecodeChain&) = delete;

  // The first `available` bytes of a raw stream that only grows; final once
  // no byte follows. The bytes may be elsewhere at the next call, but the same.
  void takeRaw(const uint8_t* stream, std::size_t available, bool final);
  // The bus events appended to the capture since the last call (a pcap
  // import appends them itself); final once no event follows.
  void takeEvents(bool final);

  // Raw bytes read so far; also stored, as they are read, in `watched` when given.
  uint64_t rawPosition() const { return position; }
  void publishPosition(std::atomic<uint64_t>* watched) { published = watched; }
  // The first row the last call changed: the rows before it are as they were.
  std::size_t firstChangedRow() const { return changedRow; }
  // The rows no later input can change: those of the roots before the first
  // one that may still gain children.
  std::size_t finalRows() const;

 private:
  Tcapture& out;
  Traw raw;
  Traw2bin bin;
  uint64_t position = 0;
  std::atomic<uint64_t>* published = nullptr;
  Tbin2obj toObjects;
  std::size_t eventsTaken = 0;
  Tobj2tree tree;
  Ttree2lin lines;
  std::size_t changedRow = 0;
};
