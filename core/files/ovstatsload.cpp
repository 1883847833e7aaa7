#include "files/ovstatsload.h"

namespace {

// Roots counted at a time: a scan costs a little to set up.
constexpr std::size_t countBatch = 4096;

}  // namespace

bool loadCounted(Tinput& input, Tcapture& capture, TdataIO& io, TcaptureStats& stats) {
  TstatsCounter counter;
  io.onRootStart([&counter](const Tcapture& loading) {
    if (loading.rootCount() >= counter.rootsCounted() + countBatch)
      counter.countRoots(loading, loading.rootCount());
  });
  const bool loaded = io.loadLinearFile(input, capture) != 0 || io.lastError().empty();
  io.onRootStart(nullptr);
  if (!loaded) return false;
  counter.countRoots(capture, capture.rootCount());
  stats = counter.finished();
  return true;
}
