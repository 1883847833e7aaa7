// Memory running out, as the library sees it: C++ allocations fail while C
// ones (the test's own) go on.
#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "libref.h"

namespace {

std::atomic<bool> failing{false};
std::thread::id failingThread;
std::atomic<uint64_t> failFrom{0};

}  // namespace

void refFailAllocations(int on) {
  failingThread = std::this_thread::get_id();
  failing = on != 0;
}

void refFailAllocationsFrom(uint64_t bytes) { failFrom = bytes; }

void* operator new(std::size_t n) {
  // Only the test's thread: the context's capture thread goes on as before.
  if (failing.load(std::memory_order_relaxed) && std::this_thread::get_id() == failingThread)
    throw std::bad_alloc();
  const uint64_t from = failFrom.load(std::memory_order_relaxed);
  if (from && n >= from) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// GCC takes the replacement pair for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
