#include <random>

#include "synth/enumeration.h"
#include "synth/requests.h"
#include "synth/scenario.h"

namespace synth {

namespace {

constexpr uint8_t mouseAddress = 7;
constexpr unsigned mouseEndpoint = 1;

class TmouseScenario : public Tscenario {
 public:
  explicit TmouseScenario(uint64_t seed) : rng_(seed), blobs_(hidMouseBlobs()) {}

  void start(TusbHost& host) override {
    attachDevice(host.bus());
    enumerate(host, blobs_, mouseAddress);
    pauseFrames(host, 1, 2);
    host.controlWrite(mouseAddress, blobs_.maxPacket0(), hidSetIdle(0), {});
    pauseFrames(host, 0, 1);
    host.controlRead(mouseAddress, blobs_.maxPacket0(),
                     getDescriptor(dtHidReport, 0, 0, static_cast<uint16_t>(blobs_.hidReport.size() + 64)),
                     blobs_.hidReport);
  }

  void step(TusbHost& host) override {
    TbusWriter& bus = host.bus();
    bus.idleUntil(bus.nextSofTime() + 1);
    const unsigned interval = blobs_.configuration.back();
    if (frames_++ % interval != 0) return;
    bus.idle(host.draw(30, 200));
    if (rng_() % 5 != 0) {
      host.pollIn(mouseAddress, mouseEndpoint, nullptr);
      return;
    }
    const Tbytes report{static_cast<uint8_t>(rng_() % 8), move(), move(),
                        static_cast<uint8_t>(rng_() % 7 == 0)};
    host.pollIn(mouseAddress, mouseEndpoint, &report);
  }

 private:
  uint8_t move() { return static_cast<uint8_t>(static_cast<int8_t>(static_cast<int>(rng_() % 21) - 10)); }

  std::mt19937_64 rng_;
  TdeviceBlobs blobs_;
  unsigned frames_ = 0;
};

}  // namespace

std::unique_ptr<Tscenario> makeMouseScenario(uint64_t seed) { return std::make_unique<TmouseScenario>(seed); }

}  // namespace synth
