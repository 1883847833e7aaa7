// Sample files as the GUI reads and saves them: every failure is a sentence
// naming the file, and never an exception.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ovsamplefile.h"

TEST(GuiSampleFiles, FailuresNameTheFileAndNeverThrow) {
  const std::string pcap = TWR_TEST_DATA_DIR "/packetry/ksolti-core-enum/capture.pcap";
  const TsampleRead read = readSampleFile(pcap);
  EXPECT_EQ(read.problem, "");
  ASSERT_GT(read.capture->rowCount(), 0u);
  const TsampleRead broken = readSampleFile(TWR_TEST_DATA_DIR "/lib_malformed.ovd");
  EXPECT_FALSE(broken.missing);
  EXPECT_NE(broken.problem.find("lib_malformed.ovd\": line 6"), std::string::npos) << broken.problem;
  EXPECT_TRUE(broken.capture->rowCount() == 0 && broken.capture->rootCount() == 0);

  EXPECT_EQ(exportPcapFile(*read.capture, "/nonexistent/dir/out.pcap"),
            "Cannot export to \"/nonexistent/dir/out.pcap\": cannot create file: No such file or directory.");
  EXPECT_NE(saveSampleFile(*read.capture, "/nonexistent/dir/out.ovd").find("/nonexistent/dir/out.ovd"),
            std::string::npos);
}
