// Memory settings for a program that decodes large captures, called once at
// the start of its main (never by the library, whose host owns the heap).
#pragma once

#include <malloc.h>

#include "decode/ovarena.h"

namespace memtune {

// A decode touches hundreds of megabytes of fresh memory, and every fresh page
// costs a page fault: memory given back by one decode is kept for the next
// (up to 256 MB idle), and big vectors come from the heap, which grows in
// large steps, rather than from a mapping of their own each time.
inline void forLargeDecodes() {
  constexpr int keepBytes = 256 << 20;
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest glibc accepts
  mallopt(M_TRIM_THRESHOLD, keepBytes);
  mallopt(M_TOP_PAD, 16 << 20);
  arena::keepSpareBytes(keepBytes);
}

}  // namespace memtune
