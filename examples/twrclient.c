/* A minimal client of libtwrcore.
 *
 *   twrclient FILE.ovd   prints the rows of a saved capture
 *   twrclient            waits for the sniffer, captures 64 KiB and prints the rows
 *
 * Build against the installed library:
 *   cc twrclient.c $(pkg-config --cflags --libs twrcore) -o twrclient
 */
#define _POSIX_C_SOURCE 200809L /* nanosleep */
#include <stdio.h>
#include <time.h>
#include <twrcore.h>

static void sleepMs(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, NULL);
}

static int capture(TsniffContext* ctx) {
  int waited = 0;
  while (getHardwareStatus(ctx) != TWR_STATUS_READY) {
    if (waited++ == 30) {
      fprintf(stderr, "%s\n", statusText(getHardwareStatus(ctx)));
      return 0;
    }
    sleepMs(500);
  }
  printf("sniffer %s\n", getSerialX(ctx));
  /* Refused only while a capture is requested or running. */
  if (!setNeeded(ctx, 65536)) return 0;
  setRun(ctx, 1);
  while (getRun(ctx) || !getCaptureDone(ctx)) sleepMs(100);
  printf("captured %llu bytes\n", (unsigned long long)getCaptureCount(ctx));
  return startDecode(ctx);
}

int main(int argc, char** argv) {
  char name[64];
  if (version(name, sizeof name) <= sizeof name) printf("%s\n", name);

  TsniffContext* ctx = sniffInit();
  if (!ctx) return 1;
  const int ok = argc > 1 ? sampleFileRead(ctx, argv[1]) > 0 : capture(ctx);
  const uint32_t rows = getPacketDataRowCount(ctx);
  printf("%u rows\n", rows);
  for (uint32_t i = 0; i < rows && i < 20; ++i) {
    /* One X text at a time: the next X call overwrites it. */
    printf("row %u boxes: %s\n", i, getBoxStrX(ctx, i));
    printf("row %u text: %s", i, getPacketDataRowX(ctx, i));
  }
  sniffEnd(ctx);
  return ok ? 0 : 1;
}
