// Raw capture bytes of a scenario, produced stretch by stretch so a capture of
// any length (or an endless device stream) never has to exist in memory whole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "synth/rawencoder.h"
#include "synth/scenario.h"

namespace synth {

class Tgenerator {
 public:
  explicit Tgenerator(std::unique_ptr<Tscenario> scenario, uint64_t seed = 1, const TrawOptions& raw = {});

  // Appends the bytes of the next stretch: attach and enumeration first, then
  // one frame per call.
  void next(std::vector<uint8_t>& out);
  // Appends the rest of the stream; the generator is done.
  void finish(std::vector<uint8_t>& out);

  uint64_t time() const { return bus_.time(); }
  // For traffic of the caller's own before or between stretches, such as a
  // target held detached.
  TbusWriter& bus() { return bus_; }
  // Off for endless streams: no expected events pile up.
  void setRecording(bool on) { bus_.setRecording(on); }
  // The bus events a decoder should find in the bytes handed out so far.
  std::vector<TeventBin> takeEvents() { return bus_.takeEvents(); }

 private:
  TbusWriter bus_;
  TusbHost host_;
  std::unique_ptr<Tscenario> scenario_;
  TrawEncoder encoder_;
  TlineRuns runs_;
  bool started_ = false;
};

// The whole raw stream of `seconds` of bus time of a scenario (makeScenario's names).
std::vector<uint8_t> rawCapture(const std::string& scenario, double seconds, uint64_t seed,
                                const TrawOptions& raw = {});

}  // namespace synth
