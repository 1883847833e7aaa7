#include "synth/generator.h"

#include <utility>

namespace synth {

Tgenerator::Tgenerator(std::unique_ptr<Tscenario> scenario, uint64_t seed, const TrawOptions& raw)
    : host_(bus_, seed), scenario_(std::move(scenario)), encoder_(raw) {}

void Tgenerator::next(std::vector<uint8_t>& out) {
  if (!started_) {
    scenario_->start(host_);
    started_ = true;
  } else {
    scenario_->step(host_);
  }
  bus_.takeRuns(runs_);
  encoder_.encode(runs_, out);
}

void Tgenerator::finish(std::vector<uint8_t>& out) {
  bus_.finish();
  bus_.takeRuns(runs_);
  encoder_.encode(runs_, out);
  encoder_.finish(out);
}

std::vector<uint8_t> rawCapture(const std::string& scenario, double seconds, uint64_t seed,
                                const TrawOptions& raw) {
  Tgenerator generator(makeScenario(scenario, seed), seed, raw);
  std::vector<uint8_t> out;
  while (static_cast<double>(generator.time()) < seconds * 12e6) generator.next(out);
  generator.finish(out);
  return out;
}

}  // namespace synth
