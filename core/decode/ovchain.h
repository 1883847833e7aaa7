// The decode stages in their one order: raw capture bytes, bus events, packet
// objects, the tree and display rows. A capture is fed whole or as it arrives,
// in pieces of any size; either way the results are those of the whole.
//
// Every root goes to the capture's store as soon as the tree has it, and its
// objects are dropped; only the roots that may still gain children (a control
// transfer before its status stage, a SOF group at the end) stay as objects
// too, so that the rows of children they gain later can be put after theirs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

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
  // Why the capture stopped growing early (its store could not grow); empty
  // while it did not.
  const std::string& failure() const;

 private:
  void addObject(TobjPtr obj);
  void takeObjects(bool final);
  // Rows of subtrees, numbered from firstRow, and the bus index of each row's packet (-1 for none).
  void flatten(const TobjVec& nodes, std::size_t from, int parentRow, std::size_t firstRow,
               uint8_t inherited);
  int64_t busIndexOf(const Tbase& obj);
  // Puts the rows made at row `at` of the store.
  bool keep(std::size_t at);
  void dropTaken(bool final);

  Tcapture& out;
  Traw raw;
  Traw2bin bin;
  uint64_t position = 0;
  std::atomic<uint64_t>* published = nullptr;
  std::vector<TeventBin> fresh;  // events read by this call, until the store has them
  std::size_t eventsTaken = 0;
  // The packets and resets the store has no row for yet, in bus order from
  // object windowBase on, with their times to find them by.
  TobjVec window;
  std::vector<uint64_t> windowTimes;
  std::size_t windowBase = 0;
  std::size_t nextInWindow = 0;
  TobjVec newRoots;  // the roots the tree made by the last call
  Tobj2tree tree;
  // The roots that may still gain children, by root index, with the number of
  // children the store has rows for.
  struct TopenRoot {
    TobjPtr root;
    std::size_t children = 0;
  };
  std::map<std::size_t, TopenRoot> open;
  Ttree2lin lines;
  std::vector<TlinRow> made;  // rows on their way to the store
  std::vector<int64_t> madeBusIndex;
  std::size_t changedRow = 0;
};
