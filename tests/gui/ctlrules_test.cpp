// The capture dialog's number texts, progress rounding and sizes.
#include <gtest/gtest.h>

#include "capture/ovctlrules.h"

TEST(CaptureDialogRules, NumberTextsProgressAndSizes) {
  EXPECT_EQ(num2str(1234567), "1_234_567");
  EXPECT_EQ(num2str(4294967296ull), "4_294_967_296");
  EXPECT_EQ(wxstr2num("1_024"), 1024u);
  EXPECT_EQ(wxstr2num(" 2,0x48 KB"), 2048u);
  EXPECT_EQ(wxstr2num("KBytes"), 0u);
  EXPECT_EQ(wxstr2num("4294967296"), 4294967295u) << "saturates, never wraps";
  EXPECT_EQ(wxstr2num("99999999999999999999"), 4294967295u);

  EXPECT_EQ(progressPercent(2, 3), 67);
  EXPECT_EQ(progressPercent(1, 1000), 0);
  EXPECT_EQ(progressPercent(999, 1000), 100);
  EXPECT_EQ(progressPercent(5, 0), 0);
  EXPECT_EQ(progressPercent(4194303ull * 1024 - 1, 4194303ull * 1024), 100);

  // The program's limit, the largest capture, and the room for a capture and its decode.
  EXPECT_EQ(largestBufferKB(128, uint64_t{1} << 40), 128u);
  EXPECT_EQ(largestBufferKB(67108864, uint64_t{1} << 40), 4194303u);
  EXPECT_EQ(largestBufferKB(67108864, 5 << 20), 1024u);
  EXPECT_EQ(largestBufferKB(67108864, 0), 0u);
}
