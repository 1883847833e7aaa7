// What a library client's opaque context pointer points to.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "decode/ovexthrd.h"
#include "hardware/ovlothrd.h"

struct TsniffContext {
  TloThread lo;  // first: it starts bringing the device up at once
  // Its capture is the one the row functions serve; a sample file replaces it.
  TexThread ex;

  // The size of the next capture, as setNeeded left it.
  uint32_t needed = 8192;

  // The object linix2rowptr hands out for row ix of the capture served now;
  // the same one for every call until the rows are replaced, so that a
  // client's pointer stays valid that long.
  void* handOut(uint32_t ix);
  // The rows were replaced: the objects handed out of them go.
  void forgetHandedOut();

 private:
  std::mutex handedLock;
  std::unordered_map<uint32_t, TobjPtr> handedOut;
};
