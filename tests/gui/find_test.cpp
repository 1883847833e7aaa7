#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "decode/ovexthrd.h"
#include "files/ovrowutils.h"
#include "lua/scratchdir.h"
#include "ovcopytext.h"
#include "ovfindscan.h"
#include "ovgoto.h"
#include "support/objects.h"
#include "support/testfiles.h"

namespace {

template <class T>
std::shared_ptr<T> at(std::shared_ptr<T> p, uint64_t us) {
  p->time = us * ticksPerMicrosecond;
  return p;
}

// Rows: 0 SOF group, 1 SOF frame 7 | 2 OUT transaction, 3 token addr 5, 4 DATA0 (12 bytes), 5 ACK |
//       6 SOF group, 7 SOF frame 8 | 8 IN transaction, 9 token addr 3, 10 STALL
std::shared_ptr<Tcapture> sample() {
  auto capture = std::make_shared<Tcapture>();
  auto sofAt = [&](uint32_t frame, uint64_t us) {
    auto group = std::make_shared<TsofGroup>();
    auto sof = at(packet<Tsof>(pidSof), us);
    sof->frame = frame;
    group->children.push_back(sof);
    capture->appendRoot(group);
  };
  sofAt(7, 1000);
  auto tok = at(token(pidOut, 5, 1), 1100);
  auto bytes =
      at(data(pidData0, {0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x11, 0x22, 0x12, 0x01, 0x00, 0x02}), 1110);
  capture->appendRoot(transax(TtrxType::OUT, {tok, bytes, at(packet<Thandshake>(pidAck), 1120)}));
  sofAt(8, 2000);
  capture->appendRoot(
      transax(TtrxType::IN, {at(token(pidIn, 3, 2), 2500), at(packet<Thandshake>(pidStall), 2510)}));
  return capture;
}

// Every match of a finished scan, in the order handed over.
std::vector<int32_t> found(TfindScan& scan) {
  std::vector<int32_t> rows;
  while (!scan.finished()) {
    scan.takeFound(rows);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  scan.takeFound(rows);
  EXPECT_EQ(scan.rowsLookedAt(), scan.rowCount());
  return rows;
}

std::vector<int32_t> scanAll(const std::shared_ptr<Tcapture>& capture, const TfindQuery& query,
                             std::size_t from, bool forward) {
  TfindScan scan(capture, query, from, forward);
  return found(scan);
}

using Rows = std::vector<int32_t>;

// Rows a decode never makes, each beside a common one: PIDs past the table, values past
// an int, a time whose nanoseconds pass 64 bits, a SOF in a transaction, a SOF group
// ending in a token, SETUP data of 8 bytes and of 5, and a control transfer.
std::shared_ptr<Tcapture> oddRows() {
  auto capture = std::make_shared<Tcapture>();
  auto reset = std::make_shared<Treset>();
  reset->resetLen = 4'000'000'000u;
  reset->time = ~uint64_t{0} - 5;
  reset->idle = 7;
  capture->appendRoot(reset);
  auto group = std::make_shared<TsofGroup>();
  auto sof = packet<Tsof>(pidSof);
  sof->frame = 0x80000005u;
  sof->crc5 = 0x1f;
  sof->crcOK = false;
  group->children = {sof, packet<Tsof>(pidSof), token(pidIn, 1, 2)};
  capture->appendRoot(group);
  auto odd = token(pidOut, 0x80000001u, 0xffffffffu);
  odd->time = 123'456'789'012;
  capture->appendRoot(transax(TtrxType::OUT, {odd, data(pidData2, std::vector<uint8_t>(12, 0xab)),
                                              packet<Tsof>(pidSof), packet<Thandshake>(25)}));
  capture->appendRoot(
      transax(TtrxType::IN, {token(pidIn, 3, 1), data(pidData1, {}), packet<Thandshake>(pidNak)}));
  const std::vector<uint8_t> getDescriptor{0x80, 6, 0, 1, 0, 0, 18, 0};
  capture->appendRoot(transax(TtrxType::SETUP, {token(pidSetup, 2, 0), data(pidData0, getDescriptor)}));
  capture->appendRoot(transax(TtrxType::SETUP, {token(pidSetup, 2, 0), data(pidData0, {1, 2, 3, 4, 5})}));
  auto transfer = std::make_shared<Ttransfer>();
  transfer->children = {
      transax(TtrxType::SETUP,
              {token(pidSetup, 2, 0), data(pidData0, getDescriptor), packet<Thandshake>(pidAck)}),
      transax(TtrxType::IN, {token(pidIn, 2, 0), data(pidData1, {18, 1, 0, 2, 0, 0, 0, 64, 9, 9}),
                             packet<Thandshake>(pidAck)}),
      transax(TtrxType::OUT, {token(pidOut, 2, 0), data(pidData1, {}), packet<Thandshake>(pidAck)})};
  capture->appendRoot(transfer);
  auto crc = data(pidData0, {1, 2, 3});
  crc->crc16 = 0xbeef;
  crc->crcOK = false;
  crc->idle = 4'000'000'000u;
  capture->appendRoot(crc);
  capture->appendRoot(packet<Thandshake>(18));
  return capture;
}

}  // namespace

TEST(Find, QueriesReadAsTextAndAsHexBytes) {
  const TfindQuery hex = parseFindQuery("  12 01 0x0002 ", false);
  EXPECT_EQ(hex.text, "12 01 0x0002");
  EXPECT_EQ(hex.bytes, (std::vector<uint8_t>{0x12, 0x01, 0x00, 0x02}));
  EXPECT_EQ(parseFindQuery("DeadBEEF", false).bytes, (std::vector<uint8_t>{0xde, 0xad, 0xbe, 0xef}));
  EXPECT_EQ(parseFindQuery("GET_DESCRIPTOR", false).text, "get descriptor");
  EXPECT_TRUE(parseFindQuery("GET_DESCRIPTOR", false).bytes.empty());
  EXPECT_TRUE(parseFindQuery("12 1", false).bytes.empty());  // an odd digit count is text
  EXPECT_TRUE(parseFindQuery("add", false).bytes.empty());
  EXPECT_TRUE(parseFindQuery("12 01", true).bytes.empty());  // decode texts: text only
  EXPECT_TRUE(parseFindQuery(" \t ", false).empty());
}

TEST(Find, ScansBoxTextsAndBytesFromARowOnWrapping) {
  const auto capture = sample();
  EXPECT_EQ(scanAll(capture, parseFindQuery("stall", false), 0, true), (Rows{8, 10}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("ADDR 5", false), 0, true), (Rows{2, 3}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("addr_5", false), 0, true), (Rows{2, 3}));
  // The pattern lies past the 8 bytes the boxes show: found in the bytes, by the data
  // packet and its transaction; the row the scan starts at comes last.
  EXPECT_EQ(scanAll(capture, parseFindQuery("12 01 00 02", false), 3, true), (Rows{4, 2}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("12 01 00 03", false), 0, true), Rows{});
  // "Frame" boxes, from row 7 on: forward wraps to 1; backward goes 6, 5 ... 0, 10 ... 7.
  EXPECT_EQ(scanAll(capture, parseFindQuery("frame", false), 7, true), (Rows{1, 7}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("frame", false), 7, false), (Rows{1, 7}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("out", false), 3, false), (Rows{2, 3}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("out", false), 2, false), (Rows{3, 2}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("", false), 0, true), Rows{});

  // Rows enough for several threads taking turns: matches still come in the order looked at.
  auto many = std::make_shared<Tcapture>();
  Rows before, after;  // SOFs of frames "7...", before row 15001 and after it; 15001 is one
  for (uint32_t frame = 0; frame < 10000; frame++) {
    auto group = std::make_shared<TsofGroup>();
    auto sof = packet<Tsof>(pidSof);
    sof->frame = frame;
    group->children.push_back(sof);
    many->appendRoot(group);
    const int32_t row = static_cast<int32_t>(2 * frame + 1);
    if (std::to_string(frame)[0] == '7' && row != 15001) (row > 15001 ? after : before).push_back(row);
  }
  Rows forward = after, backward(before.rbegin(), before.rend());
  forward.insert(forward.end(), before.begin(), before.end());
  backward.insert(backward.end(), after.rbegin(), after.rend());
  forward.push_back(15001);  // the row it starts from comes last
  backward.push_back(15001);
  for (unsigned threads : {1u, 4u}) {
    TfindScan scan(many, parseFindQuery("frame 7", false), 15001, true, threads);
    EXPECT_EQ(found(scan), forward) << threads << " threads";
    TfindScan back(many, parseFindQuery("frame 7", false), 15001, false, threads);
    EXPECT_EQ(found(back), backward) << threads << " threads";
  }
}

// The search writes the boxes' texts itself, and reads rows made for it alone: each row's
// texts and bytes are those the boxes of the view's own object give, in either order.
TEST(Find, ReadsEveryRowsBoxTextsAndBytesAsTheViewShowsThem) {
  const std::string example = readFile(TWR_SOURCE_DIR "/data/example.raw");
  const std::vector<uint8_t> raw(example.begin(), example.end());
  TexThread decoded;
  ASSERT_TRUE(decoded.startDecode(&raw));
  Tboxes boxes;
  const auto shownTexts = [&](const TobjPtr& obj) {
    std::string texts;
    for (const TdisplayBox& box : boxes.getBoxes(obj)) texts += box.text1 + ' ' + box.text2 + ' ';
    return texts;
  };
  for (const auto& capture : {decoded.capture, oddRows()}) {
    const std::size_t rows = capture->rowCount();
    for (const bool forward : {true, false}) {
      TrowScan scan = capture->rowScan();
      TboxTexts texts;
      for (std::size_t i = 0; i < rows; i++) {
        const std::size_t row = forward ? i : rows - 1 - i;
        const TobjPtr& made = scan.filled(row);
        const TobjPtr shown = capture->row(row).obj;
        std::string written = "kept ";
        texts.append(made, written);
        ASSERT_EQ(written, "kept " + shownTexts(shown)) << "row " << row;
        ASSERT_EQ(shownBytes(made), shownBytes(shown)) << "row " << row;
      }
    }
  }
}

TEST(Find, ScansDecodeTextsOnItsOwnThreadAndStopsWhenCancelled) {
  ScratchDir dir;
  dir.write("scripts/init.lua", R"(
    function handshake_decode(t)
      if t.pid == 14 then return "SThe endpoint said#STALL;THalt\nWhen#Why\n1#at once" end
      return "SFine"
    end
    function token_decode(t) return "SAddress " .. t.addr end
  )");
  const auto capture = sample();
  EXPECT_EQ(scanAll(capture, parseFindQuery("said#stall", true), 0, true), (Rows{10}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("When\tWhy", true), 0, true), (Rows{10}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("address 3", true), 0, true), (Rows{9}));
  EXPECT_EQ(scanAll(capture, parseFindQuery("stall", false), 0, true), (Rows{8, 10}));  // boxes
  EXPECT_EQ(decodePlainText("SOne;TT\nA#B\n1#2"), "One\nT\nA\tB\n1\t2\n");

  // A script that takes its time per row: the scan stops early when cancelled.
  dir.write("scripts/init.lua", R"(
    function sof_decode(t) local s = os.clock() while os.clock() - s < 0.02 do end return "SSlow" end
  )");
  auto big = std::make_shared<Tcapture>();
  auto group = std::make_shared<TsofGroup>();
  for (int i = 0; i < 400; i++) group->children.push_back(packet<Tsof>(pidSof));
  big->appendRoot(group);
  TfindScan scan(big, parseFindQuery("slow", true), 0, true);
  while (scan.rowsLookedAt() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  scan.cancel();
  while (!scan.finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_LT(scan.rowsLookedAt(), 100u);
  std::vector<int32_t> taken;
  scan.takeFound(taken);
  EXPECT_FALSE(taken.empty());
  EXPECT_LT(taken.size(), 100u);
}

TEST(Find, StepsThroughTheShownMatchesWrappingAndCountsThem) {
  TfindMatches matches;
  EXPECT_EQ(matches.countText(0), "No match");
  EXPECT_EQ(matches.step(0, true), -1);
  matches.add({30, 10});
  matches.add({20, 40});
  matches.showOnly([](int row) { return row != 30; });
  EXPECT_EQ(matches.shownCount(), 3);
  EXPECT_EQ(matches.step(10, true), 20);
  EXPECT_EQ(matches.step(20, true), 40);  // 30 is hidden
  EXPECT_EQ(matches.step(40, true), 10);  // wraps
  EXPECT_EQ(matches.step(10, false), 40);
  EXPECT_EQ(matches.step(25, false), 20);
  EXPECT_EQ(matches.step(0, false), 40);
  EXPECT_EQ(matches.countText(20), "2 of 3");
  EXPECT_EQ(matches.countText(40), "3 of 3");
  EXPECT_EQ(matches.countText(30), "3 matches");
  matches.showOnly([](int row) { return row == 10; });
  EXPECT_EQ(matches.countText(5), "1 match");
  EXPECT_EQ(matches.step(10, true), 10);
  matches.showOnly([](int) { return false; });
  EXPECT_EQ(matches.countText(10), "No match shown: the filters hide 4");
  EXPECT_EQ(matches.step(10, true), -1);
}

TEST(GoTo, ReadsRowsTimesAndFramesAndFindsTheirRows) {
  EXPECT_EQ(parseGoTo(" 12 ").kind, TgoTo::row);
  EXPECT_EQ(parseGoTo("12").value, 12u);
  EXPECT_EQ(parseGoTo("12.5 ms").kind, TgoTo::time);
  EXPECT_EQ(parseGoTo("12.5 ms").value, 12500u * ticksPerMicrosecond);
  EXPECT_EQ(parseGoTo("300 us").value, 300u * ticksPerMicrosecond);
  EXPECT_EQ(parseGoTo("300µs").value, 300u * ticksPerMicrosecond);
  EXPECT_EQ(parseGoTo("2 s").value, 2000000u * ticksPerMicrosecond);
  EXPECT_EQ(parseGoTo("Frame 1234").kind, TgoTo::frame);
  EXPECT_EQ(parseGoTo("frame1234").value, 1234u);
  for (const char* bad : {"", "0", "frame", "frame x", "12 xs", "1.2.3 ms", "-4 ms", "ms", "12a"})
    EXPECT_EQ(parseGoTo(bad).kind, TgoTo::invalid) << bad;
  EXPECT_FALSE(parseGoTo("12 xs").error.empty());

  const auto capture = sample();
  EXPECT_EQ(goToRow(*capture, parseGoTo("1"), -1), 0);
  EXPECT_EQ(goToRow(*capture, parseGoTo("11"), -1), 10);
  EXPECT_EQ(goToRow(*capture, parseGoTo("12"), -1), -1);
  // Times count from the first packet (1000 us); grouping rows have none of their own.
  EXPECT_EQ(goToRow(*capture, parseGoTo("0 us"), -1), 1);
  EXPECT_EQ(goToRow(*capture, parseGoTo("0.11 ms"), -1), 4);
  EXPECT_EQ(goToRow(*capture, parseGoTo("1001 us"), -1), 9);
  EXPECT_EQ(goToRow(*capture, parseGoTo("2 ms"), -1), -1);
  EXPECT_EQ(goToRow(*capture, parseGoTo("frame 8"), -1), 7);
  EXPECT_EQ(goToRow(*capture, parseGoTo("frame 7"), 3), 1);  // wraps
  EXPECT_EQ(goToRow(*capture, parseGoTo("frame 9"), -1), -1);
  EXPECT_EQ(goToRow(Tcapture(), parseGoTo("1"), -1), -1);

  EXPECT_EQ(timeBetweenText(*capture, 9, 3), "Rows 4 to 10: 1.400000 ms");
  EXPECT_EQ(timeBetweenText(*capture, 6, 7), "Rows 7 to 8: 0.000000 ms");  // a group takes its SOF's time
  EXPECT_EQ(timeBetweenText(*capture, 0, 11), "");
}

TEST(Copy, RowLineDecodeTextAndHexDump) {
  const auto capture = sample();
  const std::string text = rowCopyText(capture->row(2).obj, "SAn OUT;TFields\nName#Value\nAddr#5");
  const std::string form = rowutils::objToString(capture->row(2).obj);
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), form.substr(0, form.find('\n') + 1));
  EXPECT_NE(text.find("\nAn OUT\nFields\nName\tValue\nAddr\t5\n"), std::string::npos) << text;
  EXPECT_NE(text.find("12 bytes\n"), std::string::npos) << text;
  EXPECT_NE(text.find("08: 12 01 00 02"), std::string::npos) << text;
  EXPECT_EQ(text.find("TOKEN"), std::string::npos) << "children's lines copied:\n" << text;
  EXPECT_EQ(rowCopyText(nullptr, "SX"), "");
}
