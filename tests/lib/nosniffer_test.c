/* A context with no sniffer on the bus: what a client sees before the
 * hardware is plugged in, and sample files instead of captures. */
#include <stdio.h>
#include <string.h>
#include <umockdev.h>

#include "allocfail.h"
#include "cases.h"
#include "check.h"
#include "libref.h"
#include "twrcore.h"

static void checkSerialAndNoRows(TsniffContext* ctx) {
  char buf[32];
  memset(buf, 'x', sizeof buf);
  CHECK_INT(getSerial(ctx, buf, 11), 12);
  CHECK(buf[0] == 'x');
  CHECK_INT(getSerial(ctx, buf, 12), 12);
  CHECK_STR(buf, "unavailable");
  CHECK_STR(getSerialX(ctx), "unavailable");
  CHECK_INT(getPacketDataRowCount(ctx), 0);
  CHECK_INT(getPacketDataRow(ctx, 0, buf, sizeof buf), 0);
  CHECK(buf[0] == 0);
  CHECK(getPacketDataRowX(ctx, 0) == NULL && getBoxStrX(ctx, 0) == NULL && linix2rowptr(ctx, 0) == NULL);
}

static void checkRequestsWithoutDevice(TsniffContext* ctx) {
  CHECK(loh(ctx) != NULL && exh(ctx) != NULL && loh(ctx) != exh(ctx));
  CHECK(!setConnect(ctx, 1));
  CHECK(setNeeded(ctx, 8192));
  CHECK_INT(getCaptureCount(ctx), 0);
  CHECK_INT(getCaptureDone(ctx), 0);
  /* Nothing was captured, so there is nothing to decode. */
  CHECK(!startDecode(ctx));
  CHECK_INT(getDecodeDone(ctx), 0);
  CHECK_INT(getDecodedCount(ctx), 0);
  /* Without hardware the requests stay pending. */
  CHECK(setStop(ctx, 1));
  CHECK_INT(getStop(ctx), 1);
  CHECK(!setStop(ctx, 0));
  CHECK_INT(getStop(ctx), 0);
  CHECK(setRun(ctx, 7));
  CHECK_INT(getRun(ctx), 1);
  /* Neither the buffer nor the size may change while a run is requested. */
  CHECK(!startDecode(ctx));
  CHECK(!setNeeded(ctx, 4096));
  CHECK(!setRun(ctx, 0));
  CHECK_INT(getRun(ctx), 0);
}

/* Copy-out of one loaded row: one byte short, exact. */
static void checkRowCopyOut(TsniffContext* ctx, const TrefRows* ref, uint32_t ix) {
  const char* want = refText(ref, ix);
  const uint32_t needed = (uint32_t)strlen(want) + 1;
  char buf[512];
  REQUIRE(needed < sizeof buf);
  memset(buf, 'x', sizeof buf);
  CHECK_INT(getPacketDataRow(ctx, ix, buf, needed - 1), needed);
  CHECK(buf[0] == 0 && buf[1] == 'x' && buf[needed - 2] == 'x');
  CHECK_INT(getPacketDataRow(ctx, ix, buf, needed), needed);
  CHECK_STR(buf, want);
  CHECK(buf[needed] == 'x');
}

static void checkSampleFiles(TsniffContext* ctx) {
  TrefRows* ref = refFromSample(DATA_FILE("lib_sample.ovd"));
  REQUIRE(refCount(ref) == 22);

  /* Failed loads leave the (empty) row list alone. */
  CHECK_INT(sampleFileRead(ctx, NULL), 0);
  CHECK_INT(sampleFileRead(ctx, "lib_no_such_file.ovd"), 0);
  CHECK_INT(sampleFileRead(ctx, DATA_FILE("lib_malformed.ovd")), 0);
  CHECK_INT(getPacketDataRowCount(ctx), 0);

  CHECK_INT(sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")), 22);
  REQUIRE(getPacketDataRowCount(ctx) == 22);
  for (uint32_t i = 0; i < 22; ++i) {
    CHECK_STR(getPacketDataRowX(ctx, i), refText(ref, i));
    CHECK_STR(getBoxStrX(ctx, i), refBoxes(ref, i));
    CHECK(linix2rowptr(ctx, i) != NULL);
    CHECK(i == 0 || linix2rowptr(ctx, i) != linix2rowptr(ctx, i - 1));
  }
  CHECK(getPacketDataRowX(ctx, 22) == NULL && getBoxStrX(ctx, 22) == NULL && linix2rowptr(ctx, 22) == NULL);
  char small[4];
  CHECK_INT(getPacketDataRow(ctx, 22, small, sizeof small), 0);
  CHECK(small[0] == 0);
  checkRowCopyOut(ctx, ref, 8);

  /* The X text stays put through calls that are not X functions. */
  const char* text = getPacketDataRowX(ctx, 5);
  char copied[256];
  CHECK_INT(getPacketDataRow(ctx, 6, copied, sizeof copied), strlen(refText(ref, 6)) + 1);
  CHECK(linix2rowptr(ctx, 6) != NULL);
  CHECK_STR(text, refText(ref, 5));

  /* A bad file after a good one keeps the rows of the good one. */
  void* first = linix2rowptr(ctx, 0);
  CHECK_INT(sampleFileRead(ctx, DATA_FILE("lib_malformed.ovd")), 0);
  CHECK_INT(getPacketDataRowCount(ctx), 22);
  CHECK(linix2rowptr(ctx, 0) == first);
  CHECK_STR(getPacketDataRowX(ctx, 21), refText(ref, 21));
  /* A good file again gives new objects. */
  CHECK_INT(sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")), 22);
  CHECK(linix2rowptr(ctx, 0) != NULL && linix2rowptr(ctx, 0) != first);
  refFree(ref);
}

/* With memory used up, every call that needs some answers with its failure
 * value, and the context keeps its rows. */
static void checkOutOfMemory(TsniffContext* ctx) {
  char buf[256];
  failAllocations(allocFailThisThread, 0);
  CHECK(sniffInit() == NULL);
  CHECK(versionX() == NULL);
  CHECK_INT(version(buf, sizeof buf), 0);
  CHECK(getPacketDataRowX(ctx, 5) == NULL);
  CHECK(getBoxStrX(ctx, 5) == NULL);
  CHECK_INT(getPacketDataRow(ctx, 5, buf, sizeof buf), 0);
  CHECK_INT(sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")), 0);
  CHECK_INT(getPacketDataRowCount(ctx), 22);
  failAllocations(allocFailNone, 0);
  CHECK(getBoxStrX(ctx, 5) != NULL);
  CHECK_INT(sampleFileRead(ctx, DATA_FILE("lib_sample.ovd")), 22);
}

void caseNoSniffer(void) {
  /* An empty simulated bus, so a sniffer on the developer's desk stays out of it. */
  UMockdevTestbed* bus = umockdev_testbed_new();
  const uint64_t start = nowMs();
  TsniffContext* ctx = sniffInit();
  REQUIRE(ctx != NULL);
  CHECK(nowMs() - start >= 1990);
  CHECK_INT(getHardwareStatus(ctx), TWR_STATUS_NOT_FOUND);
  CHECK_INT(getHardwareChanged(ctx), 0);
  checkSerialAndNoRows(ctx);
  checkRequestsWithoutDevice(ctx);
  checkSampleFiles(ctx);
  checkOutOfMemory(ctx);
  sniffEnd(ctx);
  g_object_unref(bus);
}
