// What a library client's opaque context pointer points to.
#pragma once

#include "decode/ovexthrd.h"
#include "hardware/ovlothrd.h"

struct TsniffContext {
  TloThread lo;  // first: it starts bringing the device up at once
  TexThread ex;

  TsniffContext()
      : ex(std::make_shared<TexThread::TeventVec>(), std::make_shared<TobjVec>(), std::make_shared<TobjVec>(),
           std::make_shared<TexThread::TrowVec>()) {}

  // True from a run request until the capture's buffer is handed back; the
  // capture thread may write the buffer during all of it.
  bool captureBusy() const {
    const uint32_t s = lo.state;
    return lo.run || s == TloThread::stateRun || s == TloThread::stateCaptured;
  }
};
