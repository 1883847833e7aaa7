#include <gtest/gtest.h>
#include <zlib.h>

#include "hardware/ovimages.h"

// The compiled-in images must keep the shape the download and programming code walk.
TEST(DeviceImages, RecordStreamAndRowsAreWellFormed) {
  const unsigned length = fxprogLength();
  ASSERT_GT(length, 3u);
  unsigned offset = 0;
  int records = 0;
  while (offset < length) {
    offset += 3u + fxprog[offset];
    ++records;
  }
  EXPECT_EQ(offset, length) << "the last record must end exactly at the stream's end";
  EXPECT_GT(records, 1);
  EXPECT_EQ(fxprog[length], 0) << "a zero follows the stream";

  ASSERT_GT(fpgaConfigNumFrames, 0u);
  const unsigned rowBytes = fpgaConfigNumFrames * 16u;
  EXPECT_EQ(fpgaConfigData[rowBytes], 0) << "a zero follows the rows";
  EXPECT_EQ(crc32(0, fpgaConfigData, rowBytes), fpgaConfigChecksum);
}
