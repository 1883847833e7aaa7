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

  // The size of the next capture, as setNeeded left it.
  uint32_t needed = 8192;
};
