// Summary lines against the facts of the rows they stand for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "boxes/ovsummary.h"
#include "files/ovcapturefile.h"
#include "support/objects.h"

namespace {

// The time a line starts with, in microseconds.
double lineMicroseconds(const std::string& line) { return std::strtod(line.c_str(), nullptr) * 1000; }

// The spaces between " ms" and the row's name.
size_t indentOf(const std::string& line) {
  const size_t ms = line.find(" ms ");
  return ms == std::string::npos ? 0 : line.find_first_not_of(' ', ms + 3) - (ms + 3);
}

}  // namespace

TEST(SummaryLines, BundledExampleReadsAsItsRows) {
  Tinput input(TWR_SOURCE_DIR "/default.ovd");
  TcaptureFile file;
  Tcapture capture;
  ASSERT_TRUE(file.loadSample(input, capture));
  Tboxes boxes;
  std::string transaction1, nakedIn, transfer1, dataPacket;
  for (size_t ix = 0; ix < capture.rowCount(); ++ix) {
    const TlinRow row = capture.row(ix);
    const std::string line = summaryLine(row.obj, boxes);
    SCOPED_TRACE(line);
    ASSERT_EQ(line.find('\n'), std::string::npos);
    // A grouping row has its first packet's time: the row after it, one level deeper.
    const Tbase* timed = row.obj.get();
    while (timed->objType >= otSofGroup) timed = static_cast<const Tgrouper&>(*timed).children.front().get();
    EXPECT_NEAR(lineMicroseconds(line), double(timed->time) / ticksPerMicrosecond, 0.001);
    EXPECT_EQ(indentOf(line), 2u + 2u * unsigned(row.obj->level));
    // The name stands apart; the fields follow one space apart, without the time or PID code again.
    const size_t fields = line.find("  ", line.find(" ms ") + 4 + indentOf(line));
    ASSERT_NE(fields, std::string::npos);
    EXPECT_EQ(line.find("  ", fields + 2), std::string::npos);
    EXPECT_EQ(line.find(" ns"), row.obj->objType == otReset ? line.find(" ns  ") : std::string::npos);
    EXPECT_EQ(line.find("0x2D"), std::string::npos);
    const std::string name = line.substr(line.find_first_not_of(' ', line.find(" ms ") + 3));
    if (name.rfind("Transaction 1 ", 0) == 0) transaction1 = name;
    if (name.rfind("Control Transfer 1 ", 0) == 0) transfer1 = name;
    if (name.find(" IN ADDR 7 ENDP 1 NAK") != std::string::npos && name.rfind("Transaction", 0) == 0)
      nakedIn = name;
    if (name.rfind("Packet 5 ", 0) == 0) dataPacket = name;
  }
  // The first transaction of the enumeration: GET_DESCRIPTOR (device), 8 bytes asked.
  EXPECT_EQ(transaction1.rfind("Transaction 1  SETUP ADDR 0 ENDP 0 T 0 Dir DtoH Typ S R D bRequest 6 ", 0),
            0u)
      << transaction1;
  EXPECT_NE(transaction1.find(" wValue 0x0100 wIndex 0x0000 wLength 8 ACK"), std::string::npos)
      << transaction1;
  EXPECT_NE(transfer1.find(" bRequest Get Descriptor ADDR 0 ENDP 0 DATA (8 bytes) 12 01 00 02 "),
            std::string::npos)
      << transfer1;
  EXPECT_EQ(transfer1.substr(transfer1.size() - 11), " Success OK");
  EXPECT_NE(dataPacket.find("DATA0 T 0 DATA (8 bytes) 80 06 00 01 00 00 08 00 CRC16 0x"), std::string::npos)
      << dataPacket;
  EXPECT_FALSE(nakedIn.empty()) << "the polled HID endpoint's NAKed IN";

  // A long payload shows its first eight bytes; a row without an object shows nothing.
  auto longData = data(pidData1, std::vector<uint8_t>(20, 0xab));
  longData->level = 1;
  longData->time = 12;
  const std::string longLine = summaryLine(longData, boxes);
  EXPECT_EQ(longLine.rfind("  0.001000 ms    Packet ", 0), 0u) << longLine;
  EXPECT_NE(longLine.find(" DATA1 T 1 DATA (20 bytes) ab ab ab ab ab ab ab ab ... CRC16 "), std::string::npos)
      << longLine;
  EXPECT_EQ(summaryLine(nullptr, boxes), "");
}
