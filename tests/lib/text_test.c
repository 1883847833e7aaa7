/* Version text, copy-out and null handling; no context needed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cases.h"
#include "check.h"
#include "twrcore.h"

void caseTextConventions(void) {
  const uint32_t needed = version(NULL, 0);
  const char* shared = versionX();
  REQUIRE(shared != NULL);
  char text[64];
  snprintf(text, sizeof text, "%s", shared);
  CHECK_INT(needed, strlen(text) + 2);
  CHECK_INT(version(NULL, 1000), needed);
  CHECK(strncmp(text, "libtwrcore DLL/SO,", 18) == 0);

  char buf[64];
  memset(buf, 'x', sizeof buf);
  CHECK_INT(version(buf, needed - 1), needed);
  CHECK(buf[0] == 'x' && buf[needed - 2] == 'x');
  CHECK_INT(version(buf, needed), needed);
  CHECK_STR(buf, text);
  CHECK(buf[needed - 2] == 0 && buf[needed - 1] == 0);
  CHECK(buf[needed] == 'x');

  /* A null context is answered, never dereferenced. */
  sniffEnd(NULL);
  CHECK_INT(getHardwareStatus(NULL), TWR_STATUS_NOT_FOUND);
  CHECK_INT(getSerial(NULL, buf, sizeof buf), 0);
  CHECK(getSerialX(NULL) == NULL);
  CHECK_INT(getPacketDataRowCount(NULL), 0);
  CHECK_INT(getPacketDataRow(NULL, 0, buf, sizeof buf), 0);
  CHECK(buf[0] == 0);
  CHECK(getPacketDataRowX(NULL, 0) == NULL && getBoxStrX(NULL, 0) == NULL && linix2rowptr(NULL, 0) == NULL);
  CHECK(!startDecode(NULL) && !setConnect(NULL, 1) && !setRun(NULL, 1) && getRun(NULL) == 0);
  CHECK_INT(sampleFileRead(NULL, DATA_FILE("lib_sample.ovd")), 0);
  CHECK(loh(NULL) == NULL && exh(NULL) == NULL);
}
