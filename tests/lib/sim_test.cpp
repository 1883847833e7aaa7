// Captures from the simulated sniffer, the way a front end drives them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "device/simaccess.h"
#include "device/simsniffer.h"
#include "hardware/ovlothrd.h"
#include "libref.h"
#include "support/smalldisk.h"

namespace {

const char serial[] = "TWRLIBTEST01";

// Until the capture thread has taken the run request and ended the run.
bool captured(TsniffContext* ctx) {
  return waitFor([&] { return !getRun(ctx) && getCaptureDone(ctx); });
}

// The library's rows, held against the core's decode of the same buffer.
void expectRowsMatchCore(TsniffContext* ctx) {
  const TrefRows ref = refFromCapture(ctx);
  EXPECT_EQ(getDecodedCount(ctx), ref.decoded);
  ASSERT_EQ(getPacketDataRowCount(ctx), ref.texts.size());
  int mismatches = 0;
  for (uint32_t i = 0; i < ref.texts.size() && mismatches < 5; ++i) {
    // An X text lasts until the next X call.
    const char* text = getPacketDataRowX(ctx, i);
    const std::string textCopy = text ? text : "(null)";
    const char* boxes = getBoxStrX(ctx, i);
    if (textCopy == ref.texts[i] && boxes && boxes == ref.boxes[i]) continue;
    ++mismatches;
    EXPECT_EQ(textCopy, ref.texts[i]);
    EXPECT_STREQ(boxes, ref.boxes[i].c_str());
  }
}

// A sniffer whose udev rule is missing is named as such, and comes up once access is granted.
void expectNoPermission(TsniffContext* ctx, TsimSniffer& sniffer) {
  ASSERT_TRUE(waitFor([&] { return getHardwareStatus(ctx) == TWR_STATUS_NO_PERMISSION; }))
      << getHardwareStatus(ctx);
  EXPECT_STREQ(statusText(getHardwareStatus(ctx)),
               "no permission to open the sniffer: install the udev rule 60-tracewren.rules");
  EXPECT_EQ(getHardwareChanged(ctx), 1);
  sniffer.setFault(TsimFault::accessDenied, false);
}

void expectBringUp(TsniffContext* ctx, const TsimSniffer& sniffer) {
  EXPECT_FALSE(setConnect(ctx, 1));  // refused until the sniffer is up
  ASSERT_TRUE(waitFor([&] { return getHardwareStatus(ctx) == TWR_STATUS_READY; })) << getHardwareStatus(ctx);
  EXPECT_EQ(getHardwareChanged(ctx), 1);
  EXPECT_EQ(getHardwareChanged(ctx), 0);
  char buf[32];
  EXPECT_EQ(getSerial(ctx, buf, sizeof buf), sizeof serial);
  EXPECT_STREQ(buf, serial);
  EXPECT_STREQ(getSerialX(ctx), serial);
  EXPECT_TRUE(setConnect(ctx, 0));
  EXPECT_FALSE(sniffer.status().targetConnected);
  EXPECT_TRUE(setConnect(ctx, 1));
  EXPECT_TRUE(sniffer.status().targetConnected);
}

// A capture run to its end. (The dialog's tests watch its progress.)
void expectFullCapture(TsniffContext* ctx, uint32_t size) {
  const uint64_t total = size / 1024 * 1024;
  setNeeded(ctx, size);
  EXPECT_TRUE(setRun(ctx, 1));
  ASSERT_TRUE(captured(ctx));
  EXPECT_EQ(getCaptureCount(ctx), total);
  EXPECT_TRUE(startDecode(ctx));
  EXPECT_EQ(getDecodeDone(ctx), 1);
  EXPECT_EQ(refCaptureBytes(ctx), total);
  EXPECT_GT(getPacketDataRowCount(ctx), 500u);
  expectRowsMatchCore(ctx);
}

// A stop mid-way: only what was captured is decoded.
void expectStoppedCapture(TsniffContext* ctx) {
  const uint32_t size = 64u << 20;
  setNeeded(ctx, size);
  EXPECT_TRUE(setRun(ctx, 1));
  ASSERT_TRUE(waitFor([&] { return getCaptureCount(ctx) > 0; }));
  EXPECT_FALSE(setNeeded(ctx, 1024)) << "the running capture keeps its size and buffer";
  EXPECT_TRUE(setStop(ctx, 1));
  ASSERT_TRUE(captured(ctx));
  EXPECT_EQ(getStop(ctx), 0);
  const uint64_t bytes = getCaptureCount(ctx);
  EXPECT_TRUE(bytes > 0 && bytes < size);
  EXPECT_TRUE(startDecode(ctx));
  EXPECT_EQ(refCaptureBytes(ctx), bytes);
  EXPECT_GT(getPacketDataRowCount(ctx), 0u);
  expectRowsMatchCore(ctx);
}

// A sample file replaces the decoded rows, and the next decode brings the capture's back.
void expectSampleAfterCapture(TsniffContext* ctx) {
  const uint32_t rows = getPacketDataRowCount(ctx);
  ASSERT_NE(rows, 22u);
  EXPECT_EQ(sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")), 22u);
  EXPECT_EQ(getPacketDataRowCount(ctx), 22u);
  EXPECT_TRUE(startDecode(ctx));
  EXPECT_EQ(getPacketDataRowCount(ctx), rows);
}

// Where the capture directory lacks room: setNeeded refuses a size it cannot hold with its
// decode; a disk that fills during a capture ends it early with TWR_STATUS_NO_ROOM, what it
// holds decodable, until the next capture.
void expectNoRoom(TsniffContext* ctx) {
  TsmallDisk disk(1 << 20);
  if (!disk.mounted()) {
    std::printf("not run, cannot mount a file system here: %s\n", disk.why().c_str());
    return;
  }
  std::string& directory = static_cast<TloThread*>(loh(ctx))->spoolDirectory;
  directory = disk.path();
  EXPECT_FALSE(setNeeded(ctx, 1 << 20));
  EXPECT_TRUE(setNeeded(ctx, 160 << 10));
  disk.fillUntil(64 << 10);
  const uint64_t left = disk.room();
  EXPECT_TRUE(setRun(ctx, 1));
  ASSERT_TRUE(captured(ctx));
  EXPECT_EQ(getHardwareStatus(ctx), TWR_STATUS_NO_ROOM);
  EXPECT_STREQ(statusText(TWR_STATUS_NO_ROOM),
               "no room left for the capture: it ended early, what it captured is kept");
  const uint64_t bytes = getCaptureCount(ctx);
  EXPECT_TRUE(bytes + 8192 > left && bytes <= left) << bytes << " bytes kept of " << left;
  EXPECT_TRUE(startDecode(ctx));
  EXPECT_EQ(refCaptureBytes(ctx), bytes);
  expectRowsMatchCore(ctx);
  directory.clear();
  setNeeded(ctx, 8192);
  EXPECT_TRUE(setRun(ctx, 1));
  ASSERT_TRUE(captured(ctx));
  EXPECT_EQ(getHardwareStatus(ctx), TWR_STATUS_READY);
  EXPECT_EQ(getCaptureCount(ctx), 8192u);
}

// A stream with a wrong header or of random bytes decodes without harm.
void expectForeignStreams(TsniffContext* ctx, TsimSniffer& sniffer) {
  for (const TsimFault fault : {TsimFault::wrongMagic, TsimFault::garbageStream}) {
    sniffer.setFault(fault, true);
    setNeeded(ctx, 16384);
    setRun(ctx, 1);
    ASSERT_TRUE(captured(ctx));
    EXPECT_EQ(getCaptureCount(ctx), 16384u);
    EXPECT_TRUE(startDecode(ctx));
    EXPECT_EQ(getDecodeDone(ctx), 1);
    EXPECT_TRUE(fault != TsimFault::wrongMagic || getPacketDataRowCount(ctx) == 0);
    sniffer.setFault(fault, false);
  }
}

}  // namespace

TEST(Library, simCapture) {
  // A capture with every kind of object comes first, then idle frames, at the bus's pace.
  TsimConfig config;
  config.serial = serial;
  config.pace = TsimPace::realtime;
  config.replayFile = DATA_FILE("lib_replay.raw");
  config.faults.insert(TsimFault::accessDenied);
  TsimSniffer sniffer(config);
  TsniffContext* ctx;
  {
    // Opens the device as a user's program would, also when the tests run as root.
    TsimUserFileAccess asUser;
    ctx = sniffInit();
  }
  ASSERT_NE(ctx, nullptr);
  expectNoPermission(ctx, sniffer);
  expectBringUp(ctx, sniffer);
  expectFullCapture(ctx, 17000);  // rounded down to 16 KiB
  expectStoppedCapture(ctx);
  expectSampleAfterCapture(ctx);
  expectNoRoom(ctx);
  expectForeignStreams(ctx, sniffer);
  sniffEnd(ctx);
}
