#include <gtest/gtest.h>

#include <random>

#include "lua/scratchdir.h"
#include "ovdispldata.h"
#include "ovrowfilter.h"
#include "support/objects.h"

namespace {

// A packet with these error flags, its CRC failed with flagCrc, as the decode makes it.
template <class T>
std::shared_ptr<T> bad(std::shared_ptr<T> p, uint16_t flags) {
  p->flags = flags;
  p->crcOK = !(flags & flagCrc);
  return p;
}

std::shared_ptr<Ttransax> trx(TtrxType type, uint32_t tokenPid, uint32_t addr, uint32_t endp, TobjVec after) {
  after.insert(after.begin(), token(tokenPid, addr, endp));
  return transax(type, after);
}

// Rows:  0 reset | 1 SOF group, 2 SOF with a bad CRC | 3 IN 3.1, 4 token, 5 data, 6 ACK |
//        7 NAKed IN 5.0, 8 token, 9 NAK | 10 transfer 3.0, 11 SETUP, 12 token, 13 data, 14 ACK,
//        15 IN, 16 token, 17 data with a bad CRC, 18 ACK | 19 IN 5.2 unanswered, 20 token |
//        21 SETUP 6.0 without handshake, 22 token, 23 data | 24 OUT 3.2 without handshake,
//        25 token, 26 data | 27 reset
std::shared_ptr<Tcapture> sample() {
  auto capture = std::make_shared<Tcapture>();
  capture->appendRoot(std::make_shared<Treset>());
  auto group = std::make_shared<TsofGroup>();
  group->children.push_back(bad(packet<Tsof>(pidSof), flagCrc));
  capture->appendRoot(group);
  capture->appendRoot(trx(TtrxType::IN, pidIn, 3, 1, {data(pidData1, {1}), packet<Thandshake>(pidAck)}));
  capture->appendRoot(trx(TtrxType::IN, pidIn, 5, 0, {packet<Thandshake>(pidNak)}));
  auto transfer = std::make_shared<Ttransfer>();
  transfer->children = {
      trx(TtrxType::SETUP, pidSetup, 3, 0,
          {data(pidData0, {0x80, 6, 0, 1, 0, 0, 18, 0}), packet<Thandshake>(pidAck)}),
      trx(TtrxType::IN, pidIn, 3, 0, {bad(data(pidData1, {0x12}), flagCrc), packet<Thandshake>(pidAck)})};
  capture->appendRoot(transfer);
  capture->appendRoot(trx(TtrxType::IN, pidIn, 5, 2, {}));
  capture->appendRoot(trx(TtrxType::SETUP, pidSetup, 6, 0, {data(pidData0, {0, 5, 7, 0, 0, 0, 0, 0})}));
  capture->appendRoot(trx(TtrxType::OUT, pidOut, 3, 2, {data(pidData0, {9})}));
  capture->appendRoot(std::make_shared<Treset>());
  return capture;
}

std::vector<int> visibleRows(TdisplData& d) {
  std::vector<int> seen;
  for (int r = d.nearestVisibleRow(0); r >= 0; r = d.nextVisibleRow(r)) seen.push_back(r);
  return seen;
}

std::vector<int> errorRows(TdisplData& d, int direction) {
  std::vector<int> seen;
  for (int r = d.nextErrorRow(direction > 0 ? -1 : d.rowCount(), direction); r >= 0;
       r = d.nextErrorRow(r, direction))
    seen.push_back(r);
  return seen;
}

TrowFilter device(int address, int endpoint = -1, bool errorsOnly = false) {
  TrowFilter f;
  f.address = address;
  f.endpoint = endpoint;
  f.errorsOnly = errorsOnly;
  return f;
}

TrowFilter errorsOnly() { return device(-1, -1, true); }

}  // namespace

TEST(RowFilter, DeviceTextsAndHiddenCounts) {
  TrowFilter f;
  std::string why;
  for (const auto& [text, address, endpoint] : std::vector<std::tuple<std::string, int, int>>{
           {"3", 3, -1}, {" 3.1 ", 3, 1}, {"127.15", 127, 15}, {"0", 0, -1}}) {
    ASSERT_TRUE(parseDevice(text, f, why)) << text;
    EXPECT_EQ(f.address, address) << text;
    EXPECT_EQ(f.endpoint, endpoint) << text;
  }
  EXPECT_EQ(deviceText(f), "0");
  for (const std::string text : {"", "128", "3.", "3.16", "a", "3.1.2", "-1", ".1", "0x3"}) {
    why.clear();
    EXPECT_FALSE(parseDevice(text, f, why)) << text;
    EXPECT_NE(why.find("\"" + text + "\""), std::string::npos) << why;
  }
  EXPECT_EQ(f.address, 0) << "a text that names no device changes nothing";
  EXPECT_EQ(deviceText(device(3, 1)), "3.1");
  EXPECT_EQ(deviceText(TrowFilter{}), "");

  EXPECT_EQ(hiddenText(0, device(3)), "");
  EXPECT_EQ(hiddenText(1234, TrowFilter{}), "1,234 hidden");
  EXPECT_EQ(hiddenText(5, device(3, 1)), "5 hidden: device 3.1");
  EXPECT_EQ(hiddenText(5, errorsOnly()), "5 hidden: errors only");
  EXPECT_EQ(hiddenText(5, device(3, -1, true)), "5 hidden: device 3, errors only");
}

TEST(DisplData, DeviceAndErrorFiltersOnTopOfTheToggles) {
  const auto capture = sample();
  ASSERT_EQ(capture->rowCount(), 28u);
  TdisplFilters filters;
  TdisplData d([&] { return filters; });
  ASSERT_EQ(d.adopt(capture), 28u);

  struct Tcase {
    bool sofs, naks, packets;
    TrowFilter rows;
    std::vector<int> visible;
  };
  const std::vector<Tcase> cases = {
      // A device's transactions and transfers with their packets, and the resets every device sees.
      {false, false, true, device(3), {0, 3, 4, 5, 6, 10, 11, 12, 13, 14, 15, 16, 17, 18, 24, 25, 26, 27}},
      {false, false, false, device(3, 0), {0, 10, 11, 15, 27}},
      {false, true, true, device(5), {0, 7, 8, 9, 19, 20, 27}},
      {false, false, true, device(5), {0, 19, 20, 27}},
      {true, true, true, device(7), {0, 27}},
      // Errors: of a row's own, or below it; no SOF is a device's.
      {false, false, true, errorsOnly(), {10, 15, 17, 19, 21}},
      {true, false, false, errorsOnly(), {1, 2, 10, 15, 19, 21}},
      {true, true, true, device(5, -1, true), {19}},
      {true, true, true, TrowFilter{}, {}},
  };
  for (const auto& c : cases) {
    filters = {c.sofs, c.naks, c.packets, c.rows};
    d.resetVisibleRows();
    SCOPED_TRACE(testing::Message() << c.sofs << c.naks << c.packets << " " << deviceText(c.rows) << " "
                                    << c.rows.errorsOnly);
    std::vector<int> expected = c.visible;
    if (c.visible.empty())
      for (int r = 0; r < 28; r++) expected.push_back(r);
    EXPECT_EQ(visibleRows(d), expected);
    EXPECT_EQ(d.visibleRowCount(), static_cast<int>(expected.size()));
    // The error keys step through the errors the filters leave visible, either way.
    if (c.rows.errorsOnly) {
      EXPECT_EQ(errorRows(d, 1), expected);
      std::reverse(expected.begin(), expected.end());
      EXPECT_EQ(errorRows(d, -1), expected);
    }
  }
  filters = {};
  d.resetVisibleRows();
  EXPECT_EQ(errorRows(d, 1), (std::vector<int>{10, 15, 17, 19, 21}));
  EXPECT_EQ(d.nextErrorRow(15, 1), 17);
  EXPECT_EQ(d.nextErrorRow(15, -1), 10);
  EXPECT_EQ(d.nextErrorRow(10, -1), -1);
  filters.rows = device(3);
  d.resetVisibleRows();
  EXPECT_EQ(errorRows(d, -1), (std::vector<int>{17, 15, 10}));

  // A sample file keeps failed CRCs: read back, the bad packet and its transaction are error rows.
  const auto in =
      trx(TtrxType::IN, pidIn, 3, 1, {bad(data(pidData1, {1}), flagCrc), packet<Thandshake>(pidAck)});
  for (const auto& child : in->children) child->level = 1;
  TdisplData saved;
  auto one = std::make_shared<Tcapture>();
  one->appendRoot(in);
  ASSERT_EQ(saved.adopt(one), 4u);
  ScratchDir dir;
  ASSERT_EQ(saved.sampleFileSave("errors.ovd"), "");
  filters = {true, true, true, errorsOnly()};
  TdisplData read([&] { return filters; });
  ASSERT_EQ(read.sampleFileRead("errors.ovd"), 4u);
  EXPECT_EQ(visibleRows(read), (std::vector<int>{0, 2}));
}

// A control transfer that gains a bad transaction after it was shown becomes an error row, also
// when its row is in an earlier block of rows than the rows it gains.
TEST(DisplData, ATransferThatGainsABadTransactionBecomesAnErrorRow) {
  const auto capture = std::make_shared<Tcapture>();
  auto group = std::make_shared<TsofGroup>();
  for (int s = 0; s < 4093; s++) group->children.push_back(packet<Tsof>(pidSof));
  capture->appendRoot(group);
  capture->appendRoot(std::make_shared<Ttransfer>());
  const std::size_t transfer = capture->rowCount() - 1;
  ASSERT_EQ(transfer, 4094u) << "the transfer's row ends the first block of rows";
  capture->placeRow(
      trx(TtrxType::SETUP, pidSetup, 4, 0, {data(pidData0, {0x80, 6}), packet<Thandshake>(pidAck)}),
      transfer + 1, static_cast<int>(transfer), 0);
  TdisplFilters filters;
  filters.rows = errorsOnly();
  TdisplData live([&] { return filters; });
  live.show(capture);
  EXPECT_EQ(live.visibleRowCount(), 0);

  const std::size_t at = capture->rowCount();
  capture->placeRow(
      trx(TtrxType::IN, pidIn, 4, 0, {bad(data(pidData1, {1}), flagCrc), packet<Thandshake>(pidAck)}), at,
      static_cast<int>(transfer), 0);
  live.rowsChanged(at);
  EXPECT_EQ(visibleRows(live), (std::vector<int>{4094, 4099, 4101}));
  EXPECT_EQ(live.visibleRowCount(), 3);
  EXPECT_EQ(live.prevVisibleRow(4099), 4094);
}

// Captures of many thousand rows with long hidden stretches: stepping, snapping and the error
// keys agree with a row-by-row walk, whatever the filters.
TEST(DisplData, LongCapturesStepAsARowByRowWalk) {
  std::mt19937 random(5);
  auto capture = std::make_shared<Tcapture>();
  while (capture->rowCount() < 40000) {
    switch (random() % 6) {
      case 0: {
        auto group = std::make_shared<TsofGroup>();
        const unsigned sofs = random() % 40 == 0 ? 9000 : 1 + random() % 30;
        for (unsigned s = 0; s < sofs; s++)
          group->children.push_back(bad(packet<Tsof>(pidSof), random() % 500 == 0 ? flagCrc : 0));
        capture->appendRoot(group);
        break;
      }
      case 1:
        capture->appendRoot(std::make_shared<Treset>());
        break;
      case 2:
        capture->appendRoot(trx(TtrxType::IN, pidIn, random() % 3, 1, {packet<Thandshake>(pidNak)}));
        break;
      default: {
        const uint16_t flags = random() % 10 == 0 ? flagCrc : 0;
        const TtrxType type = random() % 20 == 0 ? TtrxType::SETUP : TtrxType::OUT;
        TobjVec after{bad(data(pidData0, {1, 2}), flags), packet<Thandshake>(pidAck)};
        if (random() % 30 == 0) after.pop_back();
        capture->appendRoot(
            trx(type, type == TtrxType::SETUP ? pidSetup : pidOut, random() % 3, random() % 2, after));
      }
    }
  }
  TdisplFilters filters, errors;
  TdisplData d([&] { return filters; }), onlyErrors([&] { return errors; });
  d.adopt(capture);
  onlyErrors.adopt(capture);
  const int rows = d.rowCount();
  for (int round = 0; round < 8; round++) {
    TrowFilter rowFilter;
    if (round % 3) rowFilter.address = static_cast<int>(random() % 3);
    if (round % 4 == 3) rowFilter.endpoint = 1;
    filters = {round % 2 == 1, random() % 2 == 0, random() % 2 == 0, rowFilter};
    errors = filters;
    errors.rows.errorsOnly = true;
    d.resetVisibleRows();
    onlyErrors.resetVisibleRows();
    SCOPED_TRACE(round);
    std::vector<int> visible, withError;
    for (int r = 0; r < rows; r++) {
      if (d.isVisible(r)) visible.push_back(r);
      if (onlyErrors.isVisible(r)) withError.push_back(r);
    }
    ASSERT_EQ(d.visibleRowCount(), static_cast<int>(visible.size()));
    ASSERT_GT(withError.size(), 3u);
    int longestGap = 0;
    for (std::size_t i = 1; i < visible.size(); i++)
      longestGap = std::max(longestGap, visible[i] - visible[i - 1]);
    if (!filters.showSOFs) {
      ASSERT_GT(longestGap, 9000) << "a hidden stretch of several blocks";
    }
    for (int r = 0; r < rows; r++) {
      const auto after = std::upper_bound(visible.begin(), visible.end(), r);
      const auto from = std::lower_bound(visible.begin(), visible.end(), r);
      ASSERT_EQ(d.nextVisibleRow(r), after == visible.end() ? -1 : *after) << r;
      ASSERT_EQ(d.prevVisibleRow(r), from == visible.begin() ? -1 : from[-1]) << r;
      const auto errAfter = std::upper_bound(withError.begin(), withError.end(), r);
      const auto errFrom = std::lower_bound(withError.begin(), withError.end(), r);
      ASSERT_EQ(d.nextErrorRow(r, 1), errAfter == withError.end() ? -1 : *errAfter) << r;
      ASSERT_EQ(d.nextErrorRow(r, -1), errFrom == withError.begin() ? -1 : errFrom[-1]) << r;
      // The closer of the two, the earlier on a tie.
      int nearest = from != visible.end() && *from == r ? r : after == visible.end() ? -1 : *after;
      if (nearest != r && from != visible.begin() && (nearest < 0 || r - from[-1] <= nearest - r))
        nearest = from[-1];
      ASSERT_EQ(d.nearestVisibleRow(r), nearest) << r;
    }
  }
}
