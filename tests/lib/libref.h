/* The core's own rows for a sample file or a capture buffer, callable from C,
 * so the tests can hold the library's texts against them. */
#ifndef TWR_TEST_LIBREF_H
#define TWR_TEST_LIBREF_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TrefRows TrefRows;

/* Rows of a sample file as the core loads it. */
TrefRows* refFromSample(const char* path);
/* Rows the core decodes from the buffer of the capture thread behind loh(). */
TrefRows* refFromCapture(void* loThread);
/* Size of that capture buffer. */
uint64_t refCaptureBytes(void* loThread);
uint32_t refCount(const TrefRows* ref);
/* Raw bytes the core's decoder read (0 for a sample file). */
uint64_t refDecoded(const TrefRows* ref);
/* Object text and box string of row ix; NULL out of range. */
const char* refText(const TrefRows* ref, uint32_t ix);
const char* refBoxes(const TrefRows* ref, uint32_t ix);
void refFree(TrefRows* ref);

#ifdef __cplusplus
}
#endif

#endif
