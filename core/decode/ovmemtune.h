// Memory settings for a program that decodes large captures, called once at
// the start of its main (never by the library, whose host owns the heap).
#pragma once

#include <malloc.h>

#include "decode/ovarena.h"

namespace memtune {

// A decode keeps its capture in files, and only a piece of it on the heap at
// a time: the memory it frees is little, and is reused by its next piece. So
// the heap gives back what is freed beyond a few megabytes, and a block of
// more than a megabyte (a view's list of rows, as it grows) has a mapping of
// its own, which goes back to the system the moment it is freed. A sample
// file's blocks of 1 MB stay on the heap, reused without page faults.
inline void forLargeDecodes() {
  constexpr int keepBytes = 4 << 20;
  mallopt(M_MMAP_THRESHOLD, (1 << 20) + (64 << 10));
  mallopt(M_TRIM_THRESHOLD, keepBytes);
  mallopt(M_TOP_PAD, 1 << 20);
  arena::keepSpareBytes(keepBytes);
}

}  // namespace memtune
