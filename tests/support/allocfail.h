/* Allocations that fail as when memory runs out, for tests of C++ code (the
 * test program's operator new is replaced; C's malloc goes on as before).
 * Callable from C. */
#ifndef TWR_TEST_ALLOCFAIL_H
#define TWR_TEST_ALLOCFAIL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Which threads' allocations fail, seen from the thread that calls failAllocations. */
enum { allocFailNone, allocFailThisThread, allocFailOtherThreads, allocFailAnyThread };

/* From now on, every allocation of at least minBytes on those threads fails. */
void failAllocations(int threads, uint64_t minBytes);

#ifdef __cplusplus
}
#endif

#endif
