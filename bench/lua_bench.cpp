// Decode texts of the shipped scripts: how fast rows get their text, and the
// slowest single row (what a user waits for when the pane shows one).
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "bench.h"
#include "decode/ovexthrd.h"
#include "files/ovlua.h"
#include "synth/generator.h"
#include "synth/scenario.h"

namespace {

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void decodeScenario(const std::string& scenario, double seconds) {
  synth::Tgenerator generator(synth::makeScenario(scenario, 9), 9);
  std::vector<uint8_t> raw;
  while (generator.time() < seconds * 12e6) generator.next(raw);
  generator.finish(raw);
  TexThread decoder;
  decoder.startDecode(&raw);

  // The scripts are found as the program finds them: ./scripts from the project root.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(TWR_SOURCE_DIR);
  TluaState lua(decoder.rows);
  std::filesystem::current_path(cwd);
  if (!lua.loadError().empty()) {
    report("lua_" + scenario + "_scripts_missing", 1, "flag");
    return;
  }
  double slowest = 0;
  const double start = cpuSeconds();
  for (size_t i = 0; i < decoder.rows->size(); ++i) {
    const double t = cpuSeconds();
    lua.decodeRow(static_cast<long long>(i));
    slowest = std::max(slowest, cpuSeconds() - t);
  }
  const double total = cpuSeconds() - start;
  report("lua_" + scenario + "_rows", static_cast<double>(decoder.rows->size()), "rows");
  report("lua_" + scenario + "_decode_rate", static_cast<double>(decoder.rows->size()) / total, "rows/s");
  report("lua_" + scenario + "_slowest_row", slowest * 1e3, "ms");
}

}  // namespace

TWR_BENCH(luaDecode) {
  const double seconds = options.quick ? 1 : 5;
  decodeScenario("hid", seconds);
  decodeScenario("storage", seconds);
}
