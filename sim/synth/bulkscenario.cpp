#include <random>

#include "synth/enumeration.h"
#include "synth/scenario.h"

namespace synth {

namespace {

constexpr uint8_t pumpAddress = 12;
constexpr unsigned pumpPacket = 64;
// Room a 64-byte transaction needs before the next SOF, with the host's gaps.
constexpr uint64_t transactionRoom = 1000;

class TbulkScenario : public Tscenario {
 public:
  explicit TbulkScenario(uint64_t seed) : rng_(seed), blobs_(bulkPumpBlobs()) {}

  void start(TusbHost& host) override {
    attachDevice(host.bus());
    enumerate(host, blobs_, pumpAddress);
    pauseFrames(host, 1, 2);
  }

  void step(TusbHost& host) override {
    TbusWriter& bus = host.bus();
    bus.idleUntil(bus.nextSofTime() + 1);
    while (bus.nextSofTime() - bus.time() > transactionRoom) {
      Tbytes data(pumpPacket - (rng_() % 8 == 0 ? rng_() % pumpPacket : 0));
      for (uint8_t& b : data) b = static_cast<uint8_t>(rng_());
      if (rng_() % 2) {
        host.bulkIn(pumpAddress, 1, pumpPacket, data, rng_() % 6 == 0);
      } else {
        host.bulkOut(pumpAddress, 2, pumpPacket, data);
      }
    }
  }

 private:
  std::mt19937_64 rng_;
  TdeviceBlobs blobs_;
};

}  // namespace

std::unique_ptr<Tscenario> makeBulkScenario(uint64_t seed) { return std::make_unique<TbulkScenario>(seed); }

}  // namespace synth
