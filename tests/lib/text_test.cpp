// Version text, copy-out and null handling; no context needed.
#include <gtest/gtest.h>

#include <cstring>

#include "libref.h"

TEST(Library, textConventions) {
  const uint32_t needed = version(nullptr, 0);
  ASSERT_NE(versionX(), nullptr);
  const std::string text = versionX();
  EXPECT_EQ(needed, text.size() + 2);
  EXPECT_EQ(version(nullptr, 1000), needed);
  EXPECT_EQ(text.rfind("libtwrcore DLL/SO,", 0), 0u) << text;

  char buf[64];
  memset(buf, 'x', sizeof buf);
  EXPECT_EQ(version(buf, needed - 1), needed);
  EXPECT_TRUE(buf[0] == 'x' && buf[needed - 2] == 'x');
  EXPECT_EQ(version(buf, needed), needed);
  EXPECT_STREQ(buf, text.c_str());
  EXPECT_TRUE(buf[needed - 2] == 0 && buf[needed - 1] == 0 && buf[needed] == 'x');

  EXPECT_STREQ(statusText(TWR_STATUS_READY), "sniffer ready");
  EXPECT_STREQ(statusText(-4), "unknown hardware status");

  // A null context is answered, never dereferenced.
  sniffEnd(nullptr);
  EXPECT_EQ(getHardwareStatus(nullptr), TWR_STATUS_NOT_FOUND);
  EXPECT_EQ(getSerial(nullptr, buf, sizeof buf), 0u);
  EXPECT_EQ(getSerialX(nullptr), nullptr);
  EXPECT_EQ(getPacketDataRowCount(nullptr), 0u);
  EXPECT_EQ(getPacketDataRow(nullptr, 0, buf, sizeof buf), 0u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_TRUE(!getPacketDataRowX(nullptr, 0) && !getBoxStrX(nullptr, 0) && !linix2rowptr(nullptr, 0));
  EXPECT_TRUE(!startDecode(nullptr) && !setConnect(nullptr, 1) && !setRun(nullptr, 1) &&
              getRun(nullptr) == 0);
  EXPECT_EQ(sampleFileRead(nullptr, DATA_FILE("lib_sample.ovd")), 0u);
  EXPECT_TRUE(!loh(nullptr) && !exh(nullptr));
}
