// Captures written as pcap or pcapng and read back keep every packet.
#include <gtest/gtest.h>

#include <set>

#include "files/ovdataio.h"
#include "files/ovpcapexport.h"
#include "interop.h"

namespace {

// Sample files keep decoded objects only, so their export rebuilds the bytes.
Tcapture withoutEvents(const Tcapture& capture) {
  const std::string path = tempPath("source.ovd");
  EXPECT_GT(TdataIO().saveLinearToFile(capture, path), 0);
  Tcapture sample = load(path);
  EXPECT_EQ(sample.eventCount(), 0u);
  return sample;
}

TEST(PcapRoundTrip, EveryPacketKeepsItsBytesTickAndIdle) {
  const Tcapture raw = load(TWR_SOURCE_DIR "/data/example.raw");
  const Tcapture faults = faultCapture();
  const Tcapture rawSample = withoutEvents(raw), faultSample = withoutEvents(faults);
  const struct {
    const char* name;
    const Tcapture& capture;
  } sources[] = {{"raw", raw}, {"sample", rawSample}, {"faults", faults}, {"fault sample", faultSample}};
  const struct {
    const char* name;
    TpcapWriter::Toptions options;
  } formats[] = {
      {"pcap 294", {}}, {"pcap 288", {pcapfmt::linkUsb20, false}}, {"pcapng", {pcapfmt::linkUsbFull, true}}};
  for (const auto& source : sources) {
    for (const auto& format : formats) {
      SCOPED_TRACE(std::string(source.name) + " as " + format.name);
      const std::string path = tempPath("roundtrip.dat");  // told apart by content, not by name
      TexportCounts counts;
      std::string error;
      ASSERT_TRUE(exportPcap(source.capture, path, format.options, counts, error)) << error;
      const unsigned extras = source.capture.eventCount() == 0 ? 0 : withFlags;
      EXPECT_EQ(packetLines(load(path), extras), packetLines(source.capture, extras));
    }
  }

  // The file has no line states: the idle time after a packet comes from the gap
  // to the next one, which must give what the raw stream recorded.
  TexportCounts counts;
  std::string error;
  const std::string path = tempPath("idle.pcap");
  ASSERT_TRUE(exportPcap(raw, path, {}, counts, error)) << error;
  const std::vector<std::string> recorded = packetLines(raw, withIdle | withFlags);
  const std::vector<std::string> imported = packetLines(load(path), withIdle | withFlags);
  ASSERT_EQ(imported.size(), recorded.size());
  // A reset after a packet, and the end of the capture, are not in the file.
  std::set<std::string> beforeGap;
  const size_t events = raw.eventCount();
  for (size_t i = 0; i < events; ++i)
    if (raw.event(i).kind == srcKindPacket && (i + 1 == events || raw.event(i + 1).kind != srcKindPacket))
      beforeGap.insert(";TI:" + std::to_string(raw.event(i).time) + ";");
  size_t compared = 0;
  for (size_t i = 0; i < recorded.size(); ++i) {
    const size_t time = recorded[i].find(";TI:");
    if (beforeGap.count(recorded[i].substr(time, recorded[i].find(';', time + 1) - time + 1))) continue;
    EXPECT_EQ(imported[i], recorded[i]);
    ++compared;
  }
  EXPECT_GT(compared, recorded.size() - 10);
}

}  // namespace
