/* Minimal checks for the C tests of the library: a failed check is reported
 * and counted, and the case carries on so one run shows every fault. */
#ifndef TWR_TEST_CHECK_H
#define TWR_TEST_CHECK_H

#include <stdint.h>
#include <stdio.h>
#include <string.h>

extern int checkFailures;

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++checkFailures;                                                         \
    }                                                                          \
  } while (0)

#define CHECK_INT(actual, expected)                                                               \
  do {                                                                                            \
    long long a_ = (long long)(actual), e_ = (long long)(expected);                               \
    if (a_ != e_) {                                                                               \
      fprintf(stderr, "%s:%d: %s is %lld, expected %lld\n", __FILE__, __LINE__, #actual, a_, e_); \
      ++checkFailures;                                                                            \
    }                                                                                             \
  } while (0)

#define CHECK_STR(actual, expected)                                                          \
  do {                                                                                       \
    const char *a_ = (actual), *e_ = (expected);                                             \
    if (!a_ || !e_ || strcmp(a_, e_) != 0) {                                                 \
      fprintf(stderr, "%s:%d: %s is \"%s\", expected \"%s\"\n", __FILE__, __LINE__, #actual, \
              a_ ? a_ : "(null)", e_ ? e_ : "(null)");                                       \
      ++checkFailures;                                                                       \
    }                                                                                        \
  } while (0)

/* A check whose failure makes the rest of the case meaningless. */
#define REQUIRE(cond)                                                      \
  do {                                                                     \
    if (!(cond)) {                                                         \
      fprintf(stderr, "%s:%d: required: %s\n", __FILE__, __LINE__, #cond); \
      ++checkFailures;                                                     \
      return;                                                              \
    }                                                                      \
  } while (0)

/* Milliseconds on a monotonic clock. */
uint64_t nowMs(void);

#endif
