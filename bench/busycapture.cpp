#include "busycapture.h"

#include "synth/generator.h"

std::vector<uint8_t> busyCapture(size_t minBytes) {
  synth::Tgenerator generator(synth::makeScenario("bulk", 42), 42);
  generator.setRecording(false);
  std::vector<uint8_t> raw;
  while (raw.size() < minBytes) generator.next(raw);
  generator.finish(raw);
  return raw;
}
