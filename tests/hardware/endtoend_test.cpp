// From the simulated sniffer to display rows: capture, decode, find the target's enumeration.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "decode/ovexthrd.h"
#include "decode/ovgroup.h"
#include "hardware/ovlothrd.h"
#include "hwsupport.h"

namespace {

// Index of the first row at or after `from` holding a SETUP data packet whose request starts with `prefix`.
size_t findSetup(const std::vector<TlinRow>& rows, const Bytes& prefix, size_t from = 0) {
  for (size_t i = from; i < rows.size(); ++i) {
    if (!rows[i].obj || rows[i].obj->objType != otData) continue;
    const auto& data = static_cast<const Tdata&>(*rows[i].obj).data;
    if (data.size() == 8 && std::equal(prefix.begin(), prefix.end(), data.begin())) return i;
  }
  return rows.size();
}

}  // namespace

TEST(EndToEnd, CapturedEnumerationDecodesIntoRows) {
  TsimSniffer sniffer(TsimConfig::quick());
  auto lo = std::make_unique<TloThread>(quickHostTiming());
  ASSERT_TRUE(waitFor([&] { return lo->hardwareStatus == 0 && lo->state == TloThread::stateIdle; }));
  lo->buffer.clear();
  lo->captureCount = 0;
  lo->needed = 256 * 1024;
  lo->run = true;
  ASSERT_TRUE(waitFor([&] { return !lo->run && lo->captureDone; }));
  ASSERT_EQ(lo->captureCount, 256u * 1024);

  TexThread ex;
  ASSERT_TRUE(ex.startDecode(&lo->buffer));
  ASSERT_TRUE(ex.done);
  const std::vector<TlinRow>& rows = *ex.rows;
  ASSERT_FALSE(rows.empty());

  // A bus reset, then GET_DESCRIPTOR(device), SET_ADDRESS and SET_CONFIGURATION, in that order.
  const auto reset = std::find_if(rows.begin(), rows.end(),
                                  [](const TlinRow& r) { return r.obj && r.obj->objType == otReset; });
  ASSERT_NE(reset, rows.end());
  const size_t getDevice = findSetup(rows, {0x80, 0x06, 0x00, 0x01}, size_t(reset - rows.begin()));
  ASSERT_LT(getDevice, rows.size());
  const size_t setAddress = findSetup(rows, {0x00, 0x05}, getDevice);
  ASSERT_LT(setAddress, rows.size());
  const size_t setConfig = findSetup(rows, {0x00, 0x09, 0x01, 0x00}, setAddress);
  EXPECT_LT(setConfig, rows.size());

  // The requests sit inside control transfers of the tree.
  size_t transfers = 0;
  for (const auto& obj : *ex.trees)
    if (obj->objType == otTransfer) ++transfers;
  EXPECT_GE(transfers, 3u);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].obj && rows[i].obj->objType == otData) {
      EXPECT_TRUE(static_cast<const Tdata&>(*rows[i].obj).crcOK) << "row " << i;
    }
}
