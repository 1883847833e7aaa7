// The bus-use timeline beside what it summarizes: its bytes per packet on the
// bench stream of about 5 M rows, and with --large on a 1 GiB capture.
#include <string>
#include <vector>

#include "bench.h"
#include "busycapture.h"
#include "decode/ovexthrd.h"

namespace {

void summaryFigures(std::size_t rawBytes, const std::string& prefix) {
  TexThread ex;
  {
    const std::vector<uint8_t> raw = busyCapture(rawBytes);
    ex.startDecode(&raw);
  }
  const Tcapture& capture = *ex.capture;
  double packets = 0;
  for (std::size_t ix = 0; ix < capture.busObjectCount(); ++ix)
    packets += capture.busObject(ix)->objType != otReset;
  const Ttimeline& timeline = capture.timeline();
  report(prefix + "timeline_summary_bytes_per_packet", static_cast<double>(timeline.bytes()) / packets,
         "B/packet");
  report(prefix + "timeline_frames", static_cast<double>(timeline.frameCount()), "frames");
  report(prefix + "timeline_rows", static_cast<double>(capture.rowCount()), "rows");
}

}  // namespace

TWR_BENCH(timeline) {
  summaryFigures(options.quick ? (40u << 20) : (150u << 20), "");
  if (options.large) summaryFigures(std::size_t{1} << 30, "large_");
}
