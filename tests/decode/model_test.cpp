#include <gtest/gtest.h>

#include <string>

#include "decode/ovbase.h"
#include "decode/ovcrc.h"
#include "decode/ovgroup.h"
#include "decode/ovutils.h"

TEST(PidTable, NamesTypesAndLegality) {
  EXPECT_EQ(utils::pidName(0), "RESERVED");
  EXPECT_EQ(utils::pidName(12), "ERR/PRE");
  EXPECT_EQ(utils::pidName(16), "RESET");
  EXPECT_EQ(utils::pidName(17), "ERROR");
  EXPECT_EQ(utils::pidName(18), "UNDEFINED");
  EXPECT_EQ(utils::pidName(19), "Unknown (X)PID Type");

  EXPECT_FALSE(utils::pidIsLegal(0x10));  // only the low nibble counts
  EXPECT_TRUE(utils::pidIsLegal(0x11));
  EXPECT_EQ(utils::packetType(0xE1), L0eventType::Token);
  EXPECT_EQ(utils::packetType(0x0C), L0eventType::Special);
  EXPECT_EQ(utils::packetMinSize(8), 4u);
  EXPECT_STREQ(utils::pidPrintCode(0x4B), "0x4B");

  // Every print code is the PID with its complement nibble.
  for (int pid = 0; pid < 16; ++pid) {
    const int code = std::stoi(utils::pidPrintCode(pid), nullptr, 16);
    EXPECT_EQ(code & 15, pid);
    EXPECT_EQ((code >> 4) & 15, ~pid & 15);
  }
  // The nine PIDs of plain full-speed traffic are legal.
  int legal = 0;
  for (int pid = 0; pid < 16; ++pid) legal += utils::pidIsFsLegal(pid);
  EXPECT_EQ(legal, 9);
  EXPECT_FALSE(utils::pidIsFsLegal(7));

  // Colours hold red in the low byte.
  EXPECT_EQ(utils::pidBG(1), 0xFF4081u);  // 129, 64, 255
  EXPECT_EQ(utils::pidFG(1), 0xFFFFFFu);
}

TEST(EnumNames, KnownAndOutOfRangeValues) {
  EXPECT_EQ(utils::transactionTypeName(TtrxType::OUT), "OUT");
  EXPECT_EQ(utils::transactionTypeName(static_cast<TtrxType>(9)), "Unknown Transaction Type");
  EXPECT_EQ(utils::L0eventTypeName(L0eventType::Sof), "Sof");
  EXPECT_EQ(utils::L0eventTypeName(static_cast<L0eventType>(8)), "Unknown L0 Event Type");
  EXPECT_EQ(utils::L1groupTypeName(L1groupType::SOFgroup), "SOFgroup");
  EXPECT_EQ(utils::L1groupTypeName(static_cast<L1groupType>(7)), "Unknown L1 Group Type");
}

TEST(DurationText, EveryUnitAndBoundary) {
  auto text = [](unsigned long ticks) { return utils::tickToFloatStr(ticks, ticksPerMicrosecond); };
  EXPECT_EQ(text(0), "0 ns");
  EXPECT_EQ(text(1), "83 ns");
  EXPECT_EQ(text(12), "1000 ns");
  EXPECT_EQ(text(18), "1.500 mus");
  EXPECT_EQ(text(24), "2 mus");
  EXPECT_EQ(text(13), "1.083 mus");
  EXPECT_EQ(text(12000), "1000 mus");
  EXPECT_EQ(text(12012), "1.001 ms");
  EXPECT_EQ(text(24000), "2 ms");
  EXPECT_EQ(text(12000000), "1000 ms");
  EXPECT_EQ(text(12012000), "1.001 s");
  EXPECT_EQ(text(12UL * 3600 * 1000000), "3600 s");
}

TEST(Split, DropsEmptyPiecesAndAppends) {
  EXPECT_EQ(utils::split("a::b", ':'), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(utils::split(";x;;y;", ';'), (std::vector<std::string>{"x", "y"}));
  EXPECT_TRUE(utils::split("", ';').empty());
  EXPECT_TRUE(utils::split(":::", ':').empty());
  std::vector<std::string> out{"keep"};
  utils::split("p,q", ',', out);
  EXPECT_EQ(out, (std::vector<std::string>{"keep", "p", "q"}));
}

TEST(Crc, Crc16AgainstKnownValues) {
  const std::string check = "123456789";
  const auto* p = reinterpret_cast<const unsigned char*>(check.data());
  EXPECT_EQ(crc::makeCRC16(p, check.size()), 0xB4C8);  // catalogue value of the USB CRC16
  EXPECT_TRUE(crc::checkCRC16(p, check.size(), 0xB4C8));
  EXPECT_FALSE(crc::checkCRC16(p, check.size(), 0xB4C9));
  EXPECT_EQ(crc::makeCRC16(p, 0), 0);
  EXPECT_TRUE(crc::checkCRC16(p, 0, 0));  // zero-length data packet: CRC bytes 0x00 0x00
}
