#include "simshim.h"

#include <memory>

#include "device/simsniffer.h"

namespace {

std::unique_ptr<TsimSniffer> sniffer;

}  // namespace

extern "C" {

void simPlug(const char* serial, const char* replayFile) {
  TsimConfig config;
  config.serial = serial;
  config.pace = TsimPace::realtime;
  if (replayFile) config.replayFile = replayFile;
  sniffer = std::make_unique<TsimSniffer>(config);
}

void simRemove(void) { sniffer.reset(); }

int simTargetConnected(void) { return sniffer && sniffer->status().targetConnected ? 1 : 0; }

}  // extern "C"
