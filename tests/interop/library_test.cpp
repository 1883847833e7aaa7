// Library clients open pcap files with sampleFileRead.
#include <gtest/gtest.h>

#include <memory>

#include "cli/runtwr.h"
#include "files/ovrowutils.h"
#include "interop.h"
#include "twrcore.h"

TEST(PcapLibrary, SampleFileReadLoadsPcapAndKeepsRowsOnDamage) {
  const std::string pcap = TWR_TEST_DATA_DIR "/packetry/ksolti-core-enum/capture.pcap";
  const Tcapture capture = load(pcap);
  const std::string damaged = tempPath("damaged.pcap");
  writeFile(damaged, readFile(pcap).substr(0, 1000));

  std::unique_ptr<TsniffContext, void (*)(TsniffContext*)> ctx(sniffInit(), sniffEnd);
  ASSERT_EQ(sampleFileRead(ctx.get(), pcap.c_str()), capture.rowCount());
  const size_t last = capture.rowCount() - 1;
  EXPECT_EQ(getPacketDataRowX(ctx.get(), last), rowutils::objToString(capture.row(last).obj));
  EXPECT_EQ(sampleFileRead(ctx.get(), damaged.c_str()), 0u);
  EXPECT_EQ(getPacketDataRowCount(ctx.get()), capture.rowCount());
}
