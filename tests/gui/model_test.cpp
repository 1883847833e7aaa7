#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "decode/ovchain.h"
#include "lua/scratchdir.h"
#include "ovdispldata.h"
#include "support/objects.h"
#include "support/testfiles.h"

namespace {

std::shared_ptr<Ttransax> inTransax(uint32_t handshakePid, std::vector<uint8_t> bytes = {}) {
  TobjVec packets{packet<Ttoken>(pidIn)};
  if (!bytes.empty()) packets.push_back(data(pidData0, bytes));
  packets.push_back(packet<Thandshake>(handshakePid));
  return transax(TtrxType::IN, packets);
}

// Rows:  0 reset | 1 SOF group, 2 SOF | 3 NAKed IN, 4 token, 5 NAK |
//        6 transfer, 7 IN ACK, 8 token, 9 data, 10 ACK | 11 NAKed IN, 12 token, 13 NAK
struct Tsample {
  std::shared_ptr<Tcapture> rows = std::make_shared<Tcapture>();
  Tsample() {
    rows->appendRoot(std::make_shared<Treset>());
    auto group = std::make_shared<TsofGroup>();
    group->children.push_back(packet<Tsof>(5));
    rows->appendRoot(group);
    rows->appendRoot(inTransax(pidNak));
    auto transfer = std::make_shared<Ttransfer>();
    transfer->children.push_back(inTransax(pidAck, {0x41, 0x42}));
    rows->appendRoot(transfer);
    rows->appendRoot(inTransax(pidNak));
  }
};

// A capture of these roots.
std::shared_ptr<Tcapture> captureOf(const TobjVec& roots) {
  auto capture = std::make_shared<Tcapture>();
  for (const TobjPtr& root : roots) capture->appendRoot(root);
  return capture;
}

std::vector<int> walkForward(TdisplData& d) {
  std::vector<int> seen;
  for (int r = d.nearestVisibleRow(0); r >= 0; r = d.nextVisibleRow(r)) seen.push_back(r);
  return seen;
}

std::vector<int> walkBack(TdisplData& d) {
  std::vector<int> seen;
  for (int r = d.nearestVisibleRow(d.rowCount() - 1); r >= 0; r = d.prevVisibleRow(r))
    seen.insert(seen.begin(), r);
  return seen;
}

}  // namespace

TEST(DisplData, FiltersDecideVisibilityInEitherScrollDirection) {
  Tsample cap;
  ASSERT_EQ(cap.rows->rowCount(), 14u);
  TdisplFilters filters;
  TdisplData d([&] { return filters; });
  ASSERT_EQ(d.adopt(cap.rows), 14u);

  // SOF packets answer to the SOF filter only, not to the packet filter.
  struct Tcase {
    bool sofs, naks, packets;
    std::vector<int> visible;
  };
  const std::vector<Tcase> cases = {
      {false, false, true, {0, 6, 7, 8, 9, 10}},
      {true, false, false, {0, 1, 2, 6, 7}},
      {false, true, true, {0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
      {true, true, false, {0, 1, 2, 3, 6, 7, 11}},
  };
  for (const auto& c : cases) {
    filters = {c.sofs, c.naks, c.packets, {}};
    d.resetVisibleRows();
    SCOPED_TRACE(testing::Message() << c.sofs << c.naks << c.packets);
    // Scrolling up must not see NAK packets that scrolling down hides.
    EXPECT_EQ(walkForward(d), c.visible);
    EXPECT_EQ(walkBack(d), c.visible);
    for (int r = 0; r < d.rowCount(); r++)
      EXPECT_EQ(d.isVisible(r), std::count(c.visible.begin(), c.visible.end(), r) == 1) << r;
  }

  // Nearest: the earlier on a tie. Visible with nothing shown but resets and transfers: 0, 6, 7.
  filters = {false, false, false, {}};
  d.resetVisibleRows();
  EXPECT_EQ(d.nearestVisibleRow(3), 0);
  EXPECT_EQ(d.nearestVisibleRow(4), 6);
  EXPECT_EQ(d.nearestVisibleRow(13), 7);

  // Outside the rows there is nothing.
  for (int bad : {-1, 14, 1000}) {
    EXPECT_FALSE(d.isVisible(bad));
    EXPECT_EQ(d.nextVisibleRow(bad), -1);
    EXPECT_EQ(d.prevVisibleRow(bad), -1);
    EXPECT_EQ(d.nearestVisibleRow(bad), -1);
  }
}

TEST(DisplData, DataBytesAndDoubleClickPerKind) {
  Tsample cap;
  TdisplData d;
  d.adopt(cap.rows);
  const std::vector<uint8_t> ab = {0x41, 0x42};
  EXPECT_EQ(d.getData(7), ab);        // a transaction shows its data packet's bytes
  EXPECT_TRUE(d.getData(3).empty());  // transaction without data
  EXPECT_TRUE(d.getData(14).empty());

  auto flags = [&] {
    std::string f;
    for (size_t ix = 0; ix < cap.rows->rowCount(); ++ix)
      f += (cap.rows->rowFlags(ix) & rowFlagUser) ? 'U' : '.';
    return f;
  };
  EXPECT_TRUE(d.doubleClick(8));  // a leaf: nothing toggles
  EXPECT_EQ(flags(), "..............");
  EXPECT_TRUE(d.doubleClick(6));  // transfer -> transaction -> its packets
  EXPECT_EQ(flags(), "........UUU...");
  EXPECT_TRUE(d.doubleClick(7));
  EXPECT_EQ(flags(), "..............");
  EXPECT_FALSE(d.doubleClick(14));
  EXPECT_EQ(d.genRowDecode(14), "Error - row 14");
  EXPECT_EQ(d.genRowDecode(-3), "Error - row -3");
}

TEST(DisplData, NewDataReplacesRowsScriptsAndVisibility) {
  ScratchDir dir;
  // getNode must serve the capture on screen, not the one before it.
  dir.write("scripts/init.lua", R"(
    function myAdd(a, b) return a + b end
    function reset_decode(t) local n = getNode(1) return n and ("Snext " .. n.pid) or "Snone" end
  )");
  TdisplData d;
  EXPECT_EQ(d.genRowDecode(0), "Error - row 0");

  const auto first = captureOf({std::make_shared<Treset>(), packet<Ttoken>(pidIn)});
  ASSERT_EQ(d.adopt(first), 2u);
  EXPECT_EQ(d.genRowDecode(0), "Snext 9");
  EXPECT_EQ(d.nextVisibleRow(0), 1);

  // Saved and read back: the file's rows replace the ones on screen.
  d.adopt(captureOf({std::make_shared<Treset>(), packet<Thandshake>(pidAck), std::make_shared<Treset>()}));
  EXPECT_EQ(d.sampleFileSave("saved.ovd"), "");
  d.adopt(first);
  ASSERT_EQ(d.sampleFileRead("saved.ovd"), 3u);
  EXPECT_EQ(d.genRowDecode(0), "Snext 2");
  EXPECT_EQ(d.nextVisibleRow(1), 2);

  // Nothing usable keeps what is on screen.
  EXPECT_EQ(d.adopt(std::make_shared<Tcapture>()), 0u);
  EXPECT_EQ(d.sampleFileRead("missing.ovd"), 0u);
  EXPECT_TRUE(d.fileMissing());
  EXPECT_EQ(d.rowCount(), 3);
}

// A capture shown as it is decoded: at every step, the visible rows followed from the first
// changed row on are those of the same rows taken whole, whatever the filters.
TEST(DisplData, FollowsRowsThatGrowAndChangeAtTheirEnd) {
  std::string raw = readFile(TWR_SOURCE_DIR "/data/example.raw");
  std::mt19937 random(11);
  // A few line states changed make bad packets, for the error filter.
  for (int i = 0; i < 40; i++) raw[random() % raw.size()] ^= 0x01;
  const auto* bytes = reinterpret_cast<const uint8_t*>(raw.data());
  const auto capture = std::make_shared<Tcapture>();
  TdecodeChain chain(*capture);
  TdisplFilters filters;
  TdisplData live([&] { return filters; });
  live.show(capture);
  int steps = 0, madeAgain = 0, errors = 0;
  for (size_t available = 0; available < raw.size(); ++steps) {
    const size_t before = capture->rowCount();
    available = std::min(raw.size(), available + 1 + random() % 100);
    chain.takeRaw(bytes, available, available == raw.size());
    live.rowsChanged(chain.firstChangedRow());
    madeAgain += chain.firstChangedRow() < before;
    if (steps % 5 == 4) {
      // The example's devices: 0 (endpoint 0) and 7 (endpoints 0 and 1).
      TrowFilter rows;
      rows.address = std::vector<int>{-1, 0, 7, 7}[random() % 4];
      rows.endpoint = rows.address == 7 ? static_cast<int>(random() % 3) - 1 : -1;
      rows.errorsOnly = random() % 4 == 0;
      filters = {random() % 2 == 0, random() % 2 == 0, random() % 2 == 0, rows};
      live.resetVisibleRows();
    }
    TdisplData whole([&] { return filters; });
    whole.adopt(capture);
    ASSERT_EQ(live.rowCount(), whole.rowCount());
    ASSERT_EQ(walkForward(live), walkForward(whole)) << "step " << steps;
    ASSERT_EQ(live.visibleRowCount(), whole.visibleRowCount());
    ASSERT_EQ(live.prevVisibleRow(live.rowCount() - 1), whole.prevVisibleRow(whole.rowCount() - 1));
    for (int r = -1; (r = live.nextErrorRow(r, 1)) >= 0; errors++) ASSERT_EQ(r, whole.nextErrorRow(r - 1, 1));
  }
  EXPECT_GT(errors, 0);
  EXPECT_GT(madeAgain, 0) << "rows only appended: the changed tail went untested";
  EXPECT_GT(live.rowCount(), 1000);
}
