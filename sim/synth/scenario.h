// Device scenarios: a plug-in and enumeration, then steady traffic frame by
// frame for as long as the caller wants.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "synth/host.h"

namespace synth {

class Tscenario {
 public:
  virtual ~Tscenario() = default;
  // Attach and enumeration.
  virtual void start(TusbHost& host) = 0;
  // The next frame of steady traffic.
  virtual void step(TusbHost& host) = 0;
};

std::unique_ptr<Tscenario> makeMouseScenario(uint64_t seed);
// Frames filled with bulk IN and OUT traffic: dense captures for benchmarks.
std::unique_ptr<Tscenario> makeBulkScenario(uint64_t seed);

// By name ("hid", "bulk", ...); a name with "-late" after it is that device
// enumerated before the capture started: its traffic without the attach,
// enumeration and set-up. Null for an unknown name.
std::unique_ptr<Tscenario> makeScenario(const std::string& name, uint64_t seed);
std::vector<std::string> scenarioNames();

}  // namespace synth
