// Sample files, pcap files and raw captures as the GUI reads them, and sample files as it
// saves them: every failure is a sentence naming the file, and never an exception.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "files/ovpcapexport.h"
#include "ovsamplefile.h"
#include "support/testfiles.h"

TEST(GuiSampleFiles, FailuresNameTheFileAndNeverThrow) {
  const std::string pcap = TWR_TEST_DATA_DIR "/packetry/ksolti-core-enum/capture.pcap";
  const TsampleRead read = readSampleFile(pcap);
  EXPECT_EQ(read.problem, "");
  ASSERT_GT(read.capture->rowCount(), 0u);
  // A raw capture from the device is told apart by content too, and decoded.
  const TsampleRead raw = readSampleFile(TWR_TEST_DATA_DIR "/lib_replay.raw");
  EXPECT_EQ(raw.problem, "");
  EXPECT_GT(raw.capture->rowCount(), 0u);
  const TsampleRead broken = readSampleFile(TWR_TEST_DATA_DIR "/lib_malformed.ovd");
  EXPECT_FALSE(broken.missing);
  EXPECT_NE(broken.problem.find("lib_malformed.ovd\": line 6"), std::string::npos) << broken.problem;
  EXPECT_TRUE(broken.capture->rowCount() == 0 && broken.capture->rootCount() == 0);

  EXPECT_EQ(exportPcapFile(*read.capture, "/nonexistent/dir/out.pcap"),
            "Cannot export to \"/nonexistent/dir/out.pcap\": cannot create file: No such file or directory.");
  EXPECT_NE(saveSampleFile(*read.capture, "/nonexistent/dir/out.ovd").find("/nonexistent/dir/out.ovd"),
            std::string::npos);
}

// An opened pcap file is kept as a sample file is, without its recorded bytes: its export
// makes each packet again from the decoded fields, so an ACK with a wrong PID check nibble
// (0x12 on the wire) comes out as the PID with itself as check nibble.
TEST(GuiSampleFiles, OpenedPcapExportsPacketsMadeAgain) {
  Tcapture recorded;
  for (const std::vector<uint8_t>& packet : {std::vector<uint8_t>{0x69, 0x00, 0x10}, {0x12}}) {
    TeventBin event;
    event.kind = srcKindPacket;
    event.time = 1000 * (recorded.eventCount() + 1);
    event.bytes = packet;
    event.bytes.insert(event.bytes.end(), {0, 0, 0, 0});
    recorded.appendEvent(std::move(event));
  }
  const std::string pcap = tempPath("recorded.pcap");
  TexportCounts counts;
  std::string error;
  ASSERT_TRUE(exportPcap(recorded, pcap, {}, counts, error)) << error;
  ASSERT_EQ(readFile(pcap).back(), '\x12');

  const TsampleRead opened = readSampleFile(pcap);
  ASSERT_EQ(opened.problem, "");
  ASSERT_EQ(exportPcapFile(*opened.capture, tempPath("opened.pcap")), "");
  const std::string exported = readFile(tempPath("opened.pcap"));
  EXPECT_EQ(exported.size(), readFile(pcap).size());
  EXPECT_EQ(exported.back(), '\x22');
}
