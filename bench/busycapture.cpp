#include "busycapture.h"

#include "synth/generator.h"

std::vector<uint8_t> busyCapture(size_t minBytes) {
  synth::Tgenerator generator(synth::makeScenario("bulk", 42), 42);
  generator.setRecording(false);
  std::vector<uint8_t> raw;
  // A frame's bytes are far below the slack: the vector never grows by copying.
  raw.reserve(minBytes + (1 << 20));
  while (raw.size() < minBytes) generator.next(raw);
  generator.finish(raw);
  return raw;
}
