// Raw captures of synthesized scenarios, written where twr can read them.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "support/testfiles.h"
#include "synth/generator.h"

// The path of a raw capture of `seconds` of the scenario.
inline std::string scenarioFile(const std::string& scenario, double seconds) {
  const std::vector<uint8_t> raw = synth::rawCapture(scenario, seconds, 4);
  const std::string path = tempPath(scenario + ".raw");
  writeFile(path, std::string(raw.begin(), raw.end()));
  return path;
}
