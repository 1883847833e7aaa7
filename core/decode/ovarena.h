// Storage for the decoded objects of one decode. Millions of small objects
// made one by one cost a heap block each (header, rounding, fresh-page faults);
// here they are packed into large chunks instead. Each chunk counts the objects
// still living in it and goes away with the last one, so an object stays valid
// for as long as anybody holds it, whatever happened to the decode that made it.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace arena {

// Enough for the decoded objects and their counts; finer than malloc's 16.
constexpr std::size_t alignment = 8;

// Room for `bytes` in the calling thread's current chunk; never null.
void* take(std::size_t bytes);
// Returns the room of one object; the chunk goes when it has none left.
void give(void* p) noexcept;
// Bytes of chunks alive in the process, for measuring.
std::size_t bytesHeld();
// Up to this many bytes of chunks no longer used are kept for later objects
// instead of going back to the system (0 at start). A program's choice, made
// once in its main: memory held idle against page faults saved.
void keepSpareBytes(std::size_t bytes);

// Stateless, so a shared_ptr's control block pays nothing to carry it.
template <class T>
struct Tallocator {
  using value_type = T;
  Tallocator() = default;
  template <class U>
  Tallocator(const Tallocator<U>&) {}
  static_assert(alignof(T) <= alignment);
  static_assert(alignof(T) <= alignment);
  T* allocate(std::size_t n) { return static_cast<T*>(take(n * sizeof(T))); }
  void deallocate(T* p, std::size_t) noexcept { give(p); }
  template <class U>
  bool operator==(const Tallocator<U>&) const {
    return true;
  }
  template <class U>
  bool operator!=(const Tallocator<U>&) const {
    return false;
  }
};

// make_shared for decoded objects: object and counts in one arena block.
template <class T, class... Args>
std::shared_ptr<T> make(Args&&... args) {
  return std::allocate_shared<T>(Tallocator<T>{}, std::forward<Args>(args)...);
}

}  // namespace arena
