#include "synth/scenario.h"

#include <utility>

#include "synth/classdevices.h"

namespace synth {

namespace {

// Runs the scenario's start on a bus nobody records.
class TlateScenario : public Tscenario {
 public:
  explicit TlateScenario(std::unique_ptr<Tscenario> inner) : inner_(std::move(inner)) {}

  void start(TusbHost&) override {
    TbusWriter unseen;
    unseen.setRecording(false);
    TusbHost host(unseen);
    inner_->start(host);
  }
  void step(TusbHost& host) override { inner_->step(host); }

 private:
  std::unique_ptr<Tscenario> inner_;
};

std::unique_ptr<Tscenario> chip(const char* name, uint64_t seed) {
  return makeSerialChipScenario(name, seed);
}

struct Tentry {
  const char* name;
  std::unique_ptr<Tscenario> (*make)(uint64_t seed);
};

const Tentry scenarios[] = {
    {"hid", makeMouseScenario},
    {"bulk", makeBulkScenario},
    {"serial", makeSerialScenario},
    {"storage", makeStorageScenario},
    {"ftdi", [](uint64_t seed) { return chip("ftdi", seed); }},
    {"cp210x", [](uint64_t seed) { return chip("cp210x", seed); }},
    {"ch341", [](uint64_t seed) { return chip("ch341", seed); }},
    {"pl2303", [](uint64_t seed) { return chip("pl2303", seed); }},
    {"dfu", makeDfuScenario},
    {"dfuse", makeDfuseScenario},
};

const std::string late = "-late";

}  // namespace

std::unique_ptr<Tscenario> makeScenario(const std::string& name, uint64_t seed) {
  if (name.size() > late.size() && name.compare(name.size() - late.size(), late.size(), late) == 0) {
    auto inner = makeScenario(name.substr(0, name.size() - late.size()), seed);
    return inner ? std::make_unique<TlateScenario>(std::move(inner)) : nullptr;
  }
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
