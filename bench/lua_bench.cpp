// Decode texts of the shipped scripts: how fast rows get their text, and the
// slowest single row (what a user waits for when the pane shows one).
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "bench.h"
#include "decode/ovbin2obj.h"
#include "decode/ovexthrd.h"
#include "decode/ovobj2tree.h"
#include "files/ovlua.h"
#include "synth/generator.h"
#include "synth/host.h"
#include "synth/scenario.h"

namespace {

const std::filesystem::path shippedScripts = std::filesystem::path(TWR_SOURCE_DIR) / "scripts";

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void decodeScenario(const std::string& scenario, double seconds) {
  std::vector<uint8_t> raw = synth::rawCapture(scenario, seconds, 9);
  TexThread decoder;
  decoder.startDecode(&raw);

  TluaState lua(decoder.capture, shippedScripts);
  if (!lua.loadError().empty()) {
    report("lua_" + scenario + "_scripts_missing", 1, "flag");
    return;
  }
  double slowest = 0;
  const double start = cpuSeconds();
  const size_t rows = decoder.capture->rowCount();
  for (size_t i = 0; i < rows; ++i) {
    const double t = cpuSeconds();
    lua.decodeRow(static_cast<long long>(i));
    slowest = std::max(slowest, cpuSeconds() - t);
  }
  const double total = cpuSeconds() - start;
  report("lua_" + scenario + "_rows", static_cast<double>(rows), "rows");
  report("lua_" + scenario + "_decode_rate", static_cast<double>(rows) / total, "rows/s");
  report("lua_" + scenario + "_slowest_row", slowest * 1e3, "ms");
}

// One control read whose data stage the device NAKs `naks` times first: the
// mean cost of a row of that transfer, which must not grow with its length.
void decodeLongTransfer(unsigned naks) {
  synth::TbusWriter bus;
  synth::TusbHost host(bus, 9);
  host.setup(3, 0, {0x80, 6, 0, 1, 0, 0, 18, 0});
  for (unsigned i = 0; i < naks; ++i) host.in(3, 0, synth::pidData1, {}, synth::Treply::nak);
  host.in(3, 0, synth::pidData1, {18, 1, 0, 2, 0, 0, 0, 64, 0x09, 0x12, 0x57, 0x7A, 0, 1, 1, 2, 3, 1});
  host.out(3, 0, synth::pidData1, {});
  bus.finish();
  TobjVec objs, roots;
  Tbin2obj().buildObjVec(bus.takeEvents(), objs);
  Tobj2tree(objs, roots);
  auto rows = std::make_shared<Tcapture>();
  for (TobjPtr& root : roots) rows->appendRoot(std::move(root));

  TluaState lua(rows, shippedScripts);
  const double start = cpuSeconds();
  for (size_t i = 0; i < rows->rowCount(); ++i) lua.decodeRow(static_cast<long long>(i));
  const double perRow = (cpuSeconds() - start) / static_cast<double>(rows->rowCount());
  report("lua_transfer_" + std::to_string(naks) + "_naks_row", perRow * 1e6, "us");
}

}  // namespace

TWR_BENCH(luaDecode) {
  const double seconds = options.quick ? 1 : 5;
  decodeScenario("hid", seconds);
  decodeScenario("storage", seconds);
  // A serial chip's status packets every frame, and a device known only from its traffic.
  decodeScenario("ftdi", seconds);
  decodeScenario("storage-late", seconds);
  for (unsigned naks : {100u, 400u, options.quick ? 2000u : 20000u}) decodeLongTransfer(naks);
}
