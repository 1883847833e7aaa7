// The capture dialog as the tree view sees it: run it, get its result. The
// program links the real dialog; tests link their own.
#pragma once

#include <memory>
#include <vector>

#include "decode/ovbase.h"

struct TcaptureResult {
  bool ok = false;  // ended with OK
  std::shared_ptr<TobjVec> trees;
  std::shared_ptr<std::vector<TlinRow>> rows;
};

TcaptureResult runCaptureDialog();
