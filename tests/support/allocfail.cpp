#include "allocfail.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace {

std::atomic<int> failingThreads{allocFailNone};
std::atomic<uint64_t> failFrom{0};
std::thread::id caller;

bool fails(std::size_t n) {
  const int threads = failingThreads.load(std::memory_order_relaxed);
  if (threads == allocFailNone || n < failFrom.load(std::memory_order_relaxed)) return false;
  if (threads == allocFailAnyThread) return true;
  return (std::this_thread::get_id() == caller) == (threads == allocFailThisThread);
}

}  // namespace

void failAllocations(int threads, uint64_t minBytes) {
  failingThreads = allocFailNone;
  caller = std::this_thread::get_id();
  failFrom = minBytes;
  failingThreads = threads;
}

void* operator new(std::size_t n) {
  if (fails(n)) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// std::stable_sort's buffer comes from here and goes back through the delete below.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return fails(n) ? nullptr : std::malloc(n ? n : 1);
}
// GCC takes the replacement pair for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
