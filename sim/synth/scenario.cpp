#include "synth/scenario.h"

#include "synth/classdevices.h"

namespace synth {

namespace {

struct Tentry {
  const char* name;
  std::unique_ptr<Tscenario> (*make)(uint64_t seed);
};

const Tentry scenarios[] = {
    {"hid", makeMouseScenario},
    {"bulk", makeBulkScenario},
    {"serial", makeSerialScenario},
    {"storage", makeStorageScenario},
};

}  // namespace

std::unique_ptr<Tscenario> makeScenario(const std::string& name, uint64_t seed) {
  for (const Tentry& entry : scenarios) {
    if (name == entry.name) return entry.make(seed);
  }
  return nullptr;
}

std::vector<std::string> scenarioNames() {
  std::vector<std::string> names;
  for (const Tentry& entry : scenarios) names.push_back(entry.name);
  return names;
}

}  // namespace synth
