#include <gtest/gtest.h>

#include "ovdumptext.h"

TEST(DumpText, CountHeaderAndLines) {
  EXPECT_EQ(buildDump({}).count, " No Data");
  EXPECT_EQ(buildDump({}).dump, "");

  const std::string header = "\n\n      0  1  2  3  4  5  6  7  01234567";
  auto three = buildDump({0x41, 0x00, 0x7f});
  EXPECT_EQ(three.count, " 3 bytes");
  EXPECT_EQ(three.dump, header + "\n  0: 41 00 7f" + std::string(15, ' ') + "  A..");

  // High bytes are not characters; offsets grow past two digits.
  std::vector<uint8_t> many(300, 0xe9);
  many[299] = '~';
  const std::string dump = buildDump(many).dump;
  EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 2 + 38);
  EXPECT_NE(dump.find("\n 120: e9 e9 e9 e9 e9 e9 e9 e9  ........\n 128: e9 e9 e9 7e"), std::string::npos);
  EXPECT_EQ(dump.substr(dump.size() - 4), "...~");
}
