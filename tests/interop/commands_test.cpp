// The twr commands take pcap files wherever they take captures.
#include <gtest/gtest.h>

#include "cli/runtwr.h"
#include "interop.h"

const std::string example = TWR_SOURCE_DIR "/data/example.raw";

TEST(PcapCommands, ExportImportShowAndDecodeByContent) {
  const std::string pcap = tempPath("example.bin");  // no telling name
  const std::string ovd = tempPath("imported.ovd");
  const Trun exported = runTwr("export '" + example + "' '" + pcap + "' --pcapng");
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out, "packets written 907\nbus resets left out 3\n");
  const Trun imported = runTwr("import '" + pcap + "' '" + ovd + "'");
  ASSERT_EQ(imported.status, 0) << imported.err;
  const Trun fromOvd = runTwr("show '" + ovd + "'");
  ASSERT_FALSE(fromOvd.out.empty());
  EXPECT_EQ(runTwr("show '" + pcap + "'").out, fromOvd.out);
  EXPECT_EQ(runTwr("decode '" + pcap + "'").out, fromOvd.out);

  const Trun notPcap = runTwr("import '" + example + "' '" + ovd + "'");
  EXPECT_EQ(notPcap.err, "twr: " + example + ": not a pcap or pcapng file\n");
  EXPECT_EQ(runTwr("export '" + example + "' '" + pcap + "' --linktype 293").status, 2);
}
