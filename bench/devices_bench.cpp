// The devices pane's list: how long making it takes over a large capture
// (the rows walked for addresses, resets and endpoints) and over many control
// transfers (each handed to the scripts), as the pane makes it again while a
// capture grows only when that is cheap.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench.h"
#include "busycapture.h"
#include "decode/ovchain.h"
#include "decode/ovexthrd.h"
#include "decode/ovstats.h"
#include "files/ovdevicelist.h"
#include "files/ovlua.h"
#include "synth/descriptors.h"
#include "synth/enumeration.h"
#include "synth/host.h"
#include "synth/requests.h"

namespace {

void listFigures(const std::string& prefix, const std::shared_ptr<Tcapture>& capture) {
  TluaState lua(capture, std::filesystem::path(TWR_SOURCE_DIR) / "scripts");
  const Stopwatch watch;
  const std::vector<TusbDevice> devices = listDevices(*capture, &lua);
  const double seconds = watch.seconds();
  const auto rows = static_cast<double>(capture->rowCount());
  report(prefix + "rows", rows, "rows");
  report(prefix + "ms", seconds * 1e3, "ms");
  report(prefix + "rows_per_s", rows / seconds, "rows/s");
  report(prefix + "devices", static_cast<double>(devices.size()), "devices");
  // The pane counts the capture too each time it makes its list.
  const Stopwatch counting;
  captureStats(*capture);
  report(prefix + "with_counts_ms", (seconds + counting.seconds()) * 1e3, "ms");
}

// A device enumerated, then `reads` control transfers: its descriptors read
// again (each transfer one the scripts read whole), or a vendor request.
std::shared_ptr<Tcapture> controlTransfers(unsigned reads, bool descriptors) {
  synth::TbusWriter bus;
  synth::TusbHost host(bus, 5);
  const synth::TdeviceBlobs mouse = synth::hidMouseBlobs();
  synth::attachDevice(bus);
  synth::enumerate(host, mouse, 3);
  for (unsigned i = 0; i < reads && !descriptors; ++i)
    host.controlWrite(3, mouse.maxPacket0(), synth::setupRequest(0x40, 1, 0, 0, 4), {1, 2, 3, 4});
  for (unsigned i = 0; i < reads && descriptors; ++i) {
    host.controlRead(3, mouse.maxPacket0(), synth::getDescriptor(synth::dtDevice, 0, 0, 18), mouse.device);
    host.controlRead(
        3, mouse.maxPacket0(),
        synth::getDescriptor(synth::dtConfiguration, 0, 0, static_cast<uint16_t>(mouse.configuration.size())),
        mouse.configuration);
  }
  bus.finish();
  auto capture = std::make_shared<Tcapture>();
  for (TeventBin& event : bus.takeEvents()) capture->appendEvent(std::move(event));
  TdecodeChain(*capture).takeEvents(true);
  return capture;
}

}  // namespace

TWR_BENCH(devices) {
  TexThread ex;
  {
    const std::vector<uint8_t> raw = busyCapture(options.quick ? (16u << 20) : (64u << 20));
    ex.startDecode(&raw);
  }
  listFigures("devices_list_busy_", ex.capture);
  const unsigned reads = options.quick ? 1000 : 5000;
  listFigures("devices_list_descriptor_reads_", controlTransfers(reads, true));
  listFigures("devices_list_vendor_requests_", controlTransfers(reads, false));
}
