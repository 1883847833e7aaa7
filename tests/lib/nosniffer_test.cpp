// A context with no sniffer on the bus: what a client sees before the
// hardware is plugged in, and sample files instead of captures.
#include <gtest/gtest.h>
#include <umockdev.h>

#include <cstring>

#include "allocfail.h"
#include "libref.h"

namespace {

void expectSerialAndNoRows(TsniffContext* ctx) {
  char buf[32];
  EXPECT_EQ(getSerial(ctx, buf, sizeof buf), 12u);
  EXPECT_STREQ(buf, "unavailable");
  EXPECT_STREQ(getSerialX(ctx), "unavailable");
  EXPECT_EQ(getPacketDataRowCount(ctx), 0u);
  EXPECT_EQ(getPacketDataRow(ctx, 0, buf, sizeof buf), 0u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_TRUE(!getPacketDataRowX(ctx, 0) && !getBoxStrX(ctx, 0) && !linix2rowptr(ctx, 0));
}

void expectRequestsWithoutDevice(TsniffContext* ctx) {
  EXPECT_TRUE(loh(ctx) && exh(ctx) && loh(ctx) != exh(ctx));
  EXPECT_FALSE(setConnect(ctx, 1));
  EXPECT_TRUE(setNeeded(ctx, 8192));
  EXPECT_EQ(getCaptureCount(ctx), 0u);
  EXPECT_EQ(getCaptureDone(ctx), 0);
  EXPECT_FALSE(startDecode(ctx)) << "nothing was captured";
  // Without hardware the requests stay pending.
  EXPECT_TRUE(setStop(ctx, 1));
  EXPECT_EQ(getStop(ctx), 1);
  EXPECT_FALSE(setStop(ctx, 0));
  EXPECT_EQ(getStop(ctx), 0);
  EXPECT_TRUE(setRun(ctx, 7));
  EXPECT_EQ(getRun(ctx), 1);
  // Neither the buffer nor the size may change while a run is requested.
  EXPECT_FALSE(startDecode(ctx));
  EXPECT_FALSE(setNeeded(ctx, 4096));
  EXPECT_FALSE(setRun(ctx, 0));
  EXPECT_EQ(getRun(ctx), 0);
}

void expectSampleFiles(TsniffContext* ctx) {
  const TrefRows ref = refFromSample(DATA_FILE("lib_sample.ovd"));
  ASSERT_EQ(ref.texts.size(), 22u);

  // Failed loads leave the (empty) row list alone.
  EXPECT_EQ(sampleFileRead(ctx, nullptr), 0u);
  EXPECT_EQ(sampleFileRead(ctx, "lib_no_such_file.ovd"), 0u);
  EXPECT_EQ(sampleFileRead(ctx, DATA_FILE("lib_malformed.ovd")), 0u);
  EXPECT_EQ(getPacketDataRowCount(ctx), 0u);

  EXPECT_EQ(sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")), 22u);
  ASSERT_EQ(getPacketDataRowCount(ctx), 22u);
  for (uint32_t i = 0; i < 22; ++i) {
    EXPECT_STREQ(getPacketDataRowX(ctx, i), ref.texts[i].c_str());
    EXPECT_STREQ(getBoxStrX(ctx, i), ref.boxes[i].c_str());
    EXPECT_TRUE(linix2rowptr(ctx, i) && (i == 0 || linix2rowptr(ctx, i) != linix2rowptr(ctx, i - 1)));
  }
  EXPECT_TRUE(!getPacketDataRowX(ctx, 22) && !getBoxStrX(ctx, 22) && !linix2rowptr(ctx, 22));
  char buf[512];
  EXPECT_EQ(getPacketDataRow(ctx, 22, buf, 4), 0u);
  EXPECT_EQ(buf[0], 0);

  // Copy-out of a row: one byte short, exact.
  const uint32_t needed = static_cast<uint32_t>(ref.texts[8].size() + 1);
  ASSERT_LT(needed, sizeof buf);
  memset(buf, 'x', sizeof buf);
  EXPECT_EQ(getPacketDataRow(ctx, 8, buf, needed - 1), needed);
  EXPECT_TRUE(buf[0] == 0 && buf[1] == 'x' && buf[needed - 2] == 'x');
  EXPECT_EQ(getPacketDataRow(ctx, 8, buf, needed), needed);
  EXPECT_STREQ(buf, ref.texts[8].c_str());
  EXPECT_EQ(buf[needed], 'x');

  // The X text stays put through calls that are not X functions.
  const char* text = getPacketDataRowX(ctx, 5);
  EXPECT_EQ(getPacketDataRow(ctx, 6, buf, sizeof buf), ref.texts[6].size() + 1);
  EXPECT_NE(linix2rowptr(ctx, 6), nullptr);
  EXPECT_STREQ(text, ref.texts[5].c_str());

  // A bad file after a good one keeps the rows of the good one; a good file again gives new objects.
  void* first = linix2rowptr(ctx, 0);
  EXPECT_EQ(sampleFileRead(ctx, DATA_FILE("lib_malformed.ovd")), 0u);
  EXPECT_EQ(getPacketDataRowCount(ctx), 22u);
  EXPECT_EQ(linix2rowptr(ctx, 0), first);
  EXPECT_STREQ(getPacketDataRowX(ctx, 21), ref.texts[21].c_str());
  EXPECT_EQ(sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")), 22u);
  EXPECT_TRUE(linix2rowptr(ctx, 0) && linix2rowptr(ctx, 0) != first);
}

// With memory used up, every call that needs some answers with its failure
// value, and the context keeps its rows.
void expectOutOfMemory(TsniffContext* ctx) {
  char buf[256];
  failAllocations(allocFailThisThread, 0);
  const bool allFailed = !sniffInit() && !versionX() && version(buf, sizeof buf) == 0 &&
                         !getPacketDataRowX(ctx, 5) && !getBoxStrX(ctx, 5) &&
                         getPacketDataRow(ctx, 5, buf, sizeof buf) == 0 &&
                         sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")) == 0;
  failAllocations(allocFailNone, 0);
  EXPECT_TRUE(allFailed);
  EXPECT_EQ(getPacketDataRowCount(ctx), 22u);
  EXPECT_NE(getBoxStrX(ctx, 5), nullptr);
  EXPECT_EQ(sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")), 22u);
}

}  // namespace

TEST(Library, noSniffer) {
  // An empty simulated bus, so a sniffer on the developer's desk stays out of it.
  UMockdevTestbed* bus = umockdev_testbed_new();
  const auto start = std::chrono::steady_clock::now();
  TsniffContext* ctx = sniffInit();
  ASSERT_NE(ctx, nullptr);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1990));
  EXPECT_EQ(getHardwareStatus(ctx), TWR_STATUS_NOT_FOUND);
  EXPECT_EQ(getHardwareChanged(ctx), 0);
  expectSerialAndNoRows(ctx);
  expectRequestsWithoutDevice(ctx);
  expectSampleFiles(ctx);
  expectOutOfMemory(ctx);
  sniffEnd(ctx);
  g_object_unref(bus);
}
