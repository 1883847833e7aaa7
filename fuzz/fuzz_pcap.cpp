// A pcap or pcapng file through the packet, tree and row stages, as the
// import and the GUI's open take it.
#include "files/ovcapturefile.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Tcapture capture;
  TcaptureFile file;
  Tinput input(fuzz::memoryFile(data, size));
  if (!file.loadPcap(input, capture)) {
    if (file.lastError().empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  fuzz::renderRows(capture);
  return 0;
}
