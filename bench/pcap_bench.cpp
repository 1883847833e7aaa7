// pcap export and import speed on interrupt-polling traffic: a SOF per frame
// and a NAKed IN between them. Packets per second of wall time, file included.
#include <unistd.h>

#include <cstdio>

#include "bench.h"
#include "files/ovcapturefile.h"
#include "files/ovpcapexport.h"
#include "files/ovpcapread.h"

namespace {

Tcapture pollingEvents(size_t packets) {
  const std::vector<std::vector<uint8_t>> frame = {{0xA5, 0xDE, 0xE8}, {0x69, 0x83, 0x58}, {0x5A}};
  Tcapture capture;
  for (size_t i = 0; i < packets; ++i) {
    TeventBin ev;
    ev.kind = srcKindPacket;
    ev.time = i / 3 * 12000 + i % 3 * 60;
    ev.bytes = frame[i % 3];
    ev.bytes.insert(ev.bytes.end(), {20, 0, 0, 0});
    capture.appendEvent(std::move(ev));
  }
  return capture;
}

}  // namespace

TWR_BENCH(pcapFiles) {
  const size_t packets = options.quick ? 300000 : 3000000;
  const Tcapture capture = pollingEvents(packets);
  const std::string path = "/tmp/twr-bench-" + std::to_string(getpid()) + ".pcap";
  for (bool pcapng : {false, true}) {
    const std::string format = pcapng ? "pcapng" : "pcap";
    TexportCounts counts;
    std::string error;
    Stopwatch write;
    if (!exportPcap(capture, path, {pcapfmt::linkUsbFull, pcapng}, counts, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return;
    }
    report(format + "_export_packets_per_s", counts.packets / write.seconds(), "packets/s");
    Tcapture imported;
    Stopwatch read;
    Tinput input(path);
    TcaptureFile().loadPcap(input, imported);
    report(format + "_import_packets_per_s", imported.eventCount() / read.seconds(), "packets/s");
  }
  std::remove(path.c_str());
}
