/* Captures from the simulated sniffer, the way a front end drives them. */
#define _POSIX_C_SOURCE 200809L /* nanosleep */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "allocfail.h"
#include "cases.h"
#include "check.h"
#include "libref.h"
#include "simshim.h"
#include "twrcore.h"

static const char serial[] = "TWRLIBTEST01";

static void sleepMs(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, NULL);
}

/* Waits for the bring-up; true when the sniffer is ready. */
static int waitReady(TsniffContext* ctx) {
  for (uint64_t end = nowMs() + 20000; nowMs() < end; sleepMs(20))
    if (getHardwareStatus(ctx) == TWR_STATUS_READY) return 1;
  fprintf(stderr, "sniffer not ready: status %d\n", getHardwareStatus(ctx));
  return 0;
}

/* Waits until the capture thread has taken the run request and ended the run. */
static int waitCaptured(TsniffContext* ctx) {
  for (uint64_t end = nowMs() + 30000; nowMs() < end; sleepMs(5))
    if (!getRun(ctx) && getCaptureDone(ctx)) return 1;
  return 0;
}

/* Waits until the running capture has delivered some bytes. */
static int waitStreaming(TsniffContext* ctx) {
  for (uint64_t end = nowMs() + 20000; nowMs() < end; sleepMs(2))
    if (getCaptureCount(ctx) > 0) return 1;
  return 0;
}

/* The library's rows, held against the core's decode of the same buffer. */
static void checkRowsMatchCore(TsniffContext* ctx) {
  TrefRows* ref = refFromCapture(loh(ctx));
  CHECK_INT(getDecodedCount(ctx), refDecoded(ref));
  CHECK_INT(getPacketDataRowCount(ctx), refCount(ref));
  const uint32_t rows = getPacketDataRowCount(ctx);
  int mismatches = 0;
  for (uint32_t i = 0; i < rows && mismatches < 5; ++i) {
    const char* text = getPacketDataRowX(ctx, i);
    if (!text || strcmp(text, refText(ref, i)) != 0) {
      ++mismatches;
      CHECK_STR(text, refText(ref, i));
    }
    const char* boxes = getBoxStrX(ctx, i);
    if (!boxes || strcmp(boxes, refBoxes(ref, i)) != 0) {
      ++mismatches;
      CHECK_STR(boxes, refBoxes(ref, i));
    }
  }
  refFree(ref);
}

static void checkBringUp(TsniffContext* ctx) {
  CHECK(!setConnect(ctx, 1)); /* refused until the sniffer is up */
  REQUIRE(waitReady(ctx));
  CHECK_INT(getHardwareChanged(ctx), 1);
  CHECK_INT(getHardwareChanged(ctx), 0);
  char buf[32];
  CHECK_INT(getSerial(ctx, buf, sizeof buf), sizeof serial);
  CHECK_STR(buf, serial);
  CHECK_STR(getSerialX(ctx), serial);
  CHECK(setConnect(ctx, 0));
  CHECK_INT(simTargetConnected(), 0);
  CHECK(setConnect(ctx, 1));
  CHECK_INT(simTargetConnected(), 1);
}

/* A capture run to its end. (The dialog's tests watch its progress.) */
static void checkFullCapture(TsniffContext* ctx, uint32_t size) {
  const uint64_t total = size / 1024 * 1024;
  setNeeded(ctx, size);
  CHECK(setRun(ctx, 1));
  REQUIRE(waitCaptured(ctx));
  CHECK_INT(getCaptureCount(ctx), total);
  CHECK(startDecode(ctx));
  CHECK_INT(getDecodeDone(ctx), 1);
  CHECK_INT(refCaptureBytes(loh(ctx)), total);
  CHECK(getPacketDataRowCount(ctx) > 500);
  checkRowsMatchCore(ctx);
}

/* A stop mid-way: only what was captured is decoded. */
static void checkStoppedCapture(TsniffContext* ctx) {
  const uint32_t size = 64u << 20;
  setNeeded(ctx, size);
  CHECK(setRun(ctx, 1));
  REQUIRE(waitStreaming(ctx));
  /* The running capture keeps its size and buffer. */
  CHECK(!setNeeded(ctx, 1024));
  CHECK(setStop(ctx, 1));
  REQUIRE(waitCaptured(ctx));
  CHECK_INT(getStop(ctx), 0);
  const uint64_t captured = getCaptureCount(ctx);
  CHECK(captured > 0 && captured < size);
  CHECK(startDecode(ctx));
  CHECK_INT(refCaptureBytes(loh(ctx)), captured);
  CHECK(getPacketDataRowCount(ctx) > 0);
  checkRowsMatchCore(ctx);
}

/* Sample files replace the decoded rows only when they load, and the next
 * decode brings the capture's rows back. */
static void checkSampleAfterCapture(TsniffContext* ctx) {
  const uint32_t captured = getPacketDataRowCount(ctx);
  REQUIRE(captured != 22);
  CHECK_INT(sampleFileRead(ctx, DATA_FILE("lib_malformed.ovd")), 0);
  CHECK_INT(getPacketDataRowCount(ctx), captured);
  CHECK_INT(sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")), 22);
  CHECK_INT(getPacketDataRowCount(ctx), 22);
  CHECK(startDecode(ctx));
  CHECK_INT(getPacketDataRowCount(ctx), captured);
}

/* A buffer larger than memory allows: -5, the last decode kept, and the next
 * buffer that fits makes the device ready again. */
static void checkNoMemory(TsniffContext* ctx) {
  const uint32_t rows = getPacketDataRowCount(ctx);
  failAllocations(allocFailAnyThread, 32u << 20);
  setNeeded(ctx, 128u << 20); /* more than the stopped capture's buffer holds */
  setRun(ctx, 1);
  const int captured = waitCaptured(ctx);
  failAllocations(allocFailNone, 0);
  REQUIRE(captured);
  CHECK_INT(getHardwareStatus(ctx), TWR_STATUS_NO_MEMORY);
  CHECK_INT(getCaptureCount(ctx), 0);
  CHECK(!startDecode(ctx));
  CHECK_INT(getPacketDataRowCount(ctx), rows);
  setNeeded(ctx, 8192);
  setRun(ctx, 1);
  REQUIRE(waitCaptured(ctx));
  CHECK(startDecode(ctx));
  CHECK_INT(getHardwareStatus(ctx), TWR_STATUS_READY);
}

void caseSimCapture(void) {
  /* A capture with every kind of object comes first, then idle frames. */
  simPlug(serial, DATA_FILE("lib_replay.raw"));
  TsniffContext* ctx = sniffInit();
  REQUIRE(ctx != NULL);
  checkBringUp(ctx);
  checkFullCapture(ctx, 17000); /* rounded down to 16 KiB */
  checkStoppedCapture(ctx);
  checkSampleAfterCapture(ctx);
  checkNoMemory(ctx);
  sniffEnd(ctx);
  simRemove();
}

