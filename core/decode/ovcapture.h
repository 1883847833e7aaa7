// A decoded capture: what each stage of the decode made of it.
#pragma once

#include <memory>
#include <vector>

#include "decode/ovbase.h"

struct Tcapture {
  // The packets as recorded, for raw and pcap sources; empty for sample files,
  // which keep decoded objects only.
  std::shared_ptr<std::vector<TeventBin>> events = std::make_shared<std::vector<TeventBin>>();
  std::shared_ptr<TobjVec> trees = std::make_shared<TobjVec>();
  std::shared_ptr<std::vector<TlinRow>> rows = std::make_shared<std::vector<TlinRow>>();
  // The packets and resets in bus order, before grouping; empty for sample files.
  std::shared_ptr<TobjVec> objects = std::make_shared<TobjVec>();
};
