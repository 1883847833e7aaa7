#include <gtest/gtest.h>

#include "decode/ovgroup.h"
#include "ovdumptext.h"
#include "ovstatustext.h"

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
  for (std::size_t ix : {0, 7, 8, 295, 299}) {
    std::vector<uint8_t> marked(many);
    marked[ix] = 0x5a;
    const std::string markedDump = buildDump(marked).dump;
    EXPECT_EQ(markedDump.substr(dumpHexOffset(markedDump, ix), 2), "5a") << ix;
  }
}

TEST(StatusText, RowsSourceAndSpan) {
  EXPECT_EQ(capturingText(1234567), "Capturing 1,234,567 bytes");
  EXPECT_EQ(groupedDigits(999), "999");
  EXPECT_EQ(groupedDigits(4294967296ull, '_'), "4_294_967_296");

  // The span runs from the first packet to the last; groupers have no time of their own.
  Tcapture rows;
  auto at = [](uint64_t ticks) {
    auto sof = std::make_shared<Tsof>();
    sof->time = ticks;
    return sof;
  };
  rows.appendRoot(std::make_shared<TsofGroup>());
  rows.appendRoot(at(12000));
  rows.appendRoot(at(36000));
  rows.appendRoot(std::make_shared<TsofGroup>());
  TstatusTexts texts = statusTexts(rows, "example.ovd");
  EXPECT_EQ(texts.rows, "4 rows");
  EXPECT_EQ(texts.source, "example.ovd");
  EXPECT_EQ(texts.span, "Span 2.000 ms");
  rows.appendRoot(at(12000 + 18000000));
  EXPECT_EQ(statusTexts(rows, "").span, "Span 1.500 s");
  EXPECT_EQ(statusTexts(Tcapture(), capturedText()).rows, "0 rows");
  EXPECT_EQ(statusTexts(Tcapture(), capturedText()).span, "");
}
