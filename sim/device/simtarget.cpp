#include "device/simtarget.h"

TsimTarget::TsimTarget(unsigned frame, uint64_t seed) : host(bus, seed), seed(seed) {
  bus.setRecording(false);  // an endless stream: nobody collects the expected events
  bus.setFrame(frame);
}

void TsimTarget::traffic(uint64_t untilTick) {
  while (bus.time() < untilTick) {
    if (!scenario || steps == loopFrames) {
      scenario = synth::makeScenario("hid", ++seed);
      scenario->start(host);
      steps = 0;
    } else {
      scenario->step(host);
      ++steps;
    }
  }
}
