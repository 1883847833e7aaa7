/* Runs the case named on the command line; the exit code tells CTest. */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "cases.h"
#include "check.h"

int checkFailures = 0;

uint64_t nowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint64_t)t.tv_sec * 1000u + (uint64_t)t.tv_nsec / 1000000u;
}

static const struct {
  const char* name;
  void (*run)(void);
} cases[] = {
    {"textConventions", caseTextConventions},
    {"noSniffer", caseNoSniffer},
    {"simCapture", caseSimCapture},
};

int main(int argc, char** argv) {
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    if (argc == 2 && strcmp(argv[1], cases[i].name) == 0) {
      cases[i].run();
      printf("%s: %d failed checks\n", cases[i].name, checkFailures);
      return checkFailures == 0 ? 0 : 1;
    }
  }
  fprintf(stderr, "usage: %s CASE\n", argv[0]);
  return 2;
}
