// Wireshark, through tshark, reads our exports as we decoded them.
#include <gtest/gtest.h>

#include "cli/runtwr.h"
#include "decode/ovgroup.h"
#include "files/ovpcapexport.h"
#include "interop.h"

namespace {

const std::string example = TWR_SOURCE_DIR "/data/example.raw";

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

// tshark's CRC5 and CRC16 status (1 good, 0 bad, empty for none) and
// invalid-PID mark (1 when present), as we see the packet.
std::string statusOf(const TpacketBase& packet) {
  const auto good = [](bool ok) { return ok ? "1" : "0"; };
  std::string crc5, crc16;
  if (packet.objType == otSof) crc5 = good(static_cast<const Tsof&>(packet).crcOK);
  if (packet.objType == otToken) crc5 = good(static_cast<const Ttoken&>(packet).crcOK);
  if (packet.objType == otData) crc16 = good(static_cast<const Tdata&>(packet).crcOK);
  return crc5 + "\t" + crc16 + "\t" + (packet.flags & flagPidCheck ? "1" : "");
}

void expectSameStatus(const Tcapture& capture, const std::string& path) {
  const std::vector<std::string> judged =
      tsharkFields(path, "frame.number usbll.crc5.status usbll.crc16.status usbll.invalid_pid");
  const TobjVec ours = packetsOf(capture);
  ASSERT_EQ(judged.size(), ours.size());
  for (size_t i = 0; i < ours.size(); ++i)
    EXPECT_EQ(judged[i], std::to_string(i + 1) + "\t" + statusOf(static_cast<const TpacketBase&>(*ours[i])));
}

// Our standard device requests as tshark prints them (it decodes them without class knowledge).
std::vector<std::string> standardRequestsOf(const Tcapture& capture) {
  std::vector<std::string> out;
  for (size_t ix = 0; ix < capture.rootCount(); ++ix) {
    const TobjPtr root = capture.root(ix);
    const auto setup =
        root->objType == otTransfer ? static_cast<const Ttransfer&>(*root).findSetupTransax() : nullptr;
    const auto packet = setup ? setup->findDataPkt() : nullptr;
    if (!packet || packet->data.size() != 8 || (packet->data[0] & 0x7F) != 0) continue;
    const std::vector<uint8_t>& d = packet->data;
    out.push_back(hex(d[0], 2) + "\t" + std::to_string(d[1]) + "\t" + std::to_string(d[6] | d[7] << 8));
  }
  return out;
}

TEST(TsharkJudge, ReadsTheExampleExportLikeWeDo) {
  const Tcapture capture = load(example);
  const std::string pcap = tempPath("example.pcap");
  const std::string pcapng = tempPath("example.pcapng");
  const Trun run = runTwr("export '" + example + "' '" + pcap + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(runTwr("export '" + example + "' '" + pcapng + "' --pcapng --linktype 288").status, 0);
  ASSERT_FALSE(standardRequestsOf(capture).empty());
  for (const std::string& path : {pcap, pcapng}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(tsharkFields(path, "frame.number", "_ws.malformed || _ws.expert").size(), 0u);
    expectSameStatus(capture, path);
    EXPECT_EQ(
        tsharkFields(path, "usb.bmRequestType usb.setup.bRequest usb.setup.wLength", "usb.setup.bRequest"),
        standardRequestsOf(capture));
  }
}

TEST(TsharkJudge, SeesTheSameFaultsAsWe) {
  const Tcapture faults = faultCapture();
  Tcapture fromObjects = faultCapture();
  fromObjects.releaseBusRecord();
  const Tcapture* const captures[] = {&faults, &fromObjects};
  for (const Tcapture* each : captures) {
    const Tcapture& capture = *each;
    for (bool pcapng : {false, true}) {
      const std::string path = tempPath("faults.pcap");
      TexportCounts counts;
      std::string error;
      ASSERT_TRUE(exportPcap(capture, path, {pcapfmt::linkUsbFull, pcapng}, counts, error)) << error;
      SCOPED_TRACE(std::string(capture.eventCount() == 0 ? "rebuilt bytes" : "recorded bytes") +
                   (pcapng ? " as pcapng" : " as pcap"));
      expectSameStatus(capture, path);
      EXPECT_EQ(tsharkFields(path, "frame.time_epoch").back(), "108000.000024916");  // 30 h and 299 ticks
    }
  }
}

}  // namespace
