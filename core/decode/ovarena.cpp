#include "decode/ovarena.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace {

// Chunks are aligned to their size, so an object finds its chunk's header by
// masking its address and needs no pointer of its own.
constexpr std::size_t chunkBytes = std::size_t{1} << 20;
constexpr std::size_t alignment = arena::alignment;

struct Tchunk {
  // Objects in the chunk, plus one while a thread still allocates from it.
  std::atomic<std::size_t> live{1};
};
constexpr std::size_t firstOffset = (sizeof(Tchunk) + alignment - 1) / alignment * alignment;

std::atomic<std::size_t> held{0};

// Chunks given back, kept for later objects up to a limit the program sets:
// fresh pages cost a page fault each, reused ones nothing.
class Tspares {
 public:
  void setLimit(std::size_t bytes) {
    std::vector<void*> dropped;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      limit = bytes / chunkBytes;
      while (chunks.size() > limit) {
        dropped.push_back(chunks.back());
        chunks.pop_back();
      }
      chunks.reserve(limit);
    }
    for (void* chunk : dropped) munmap(chunk, chunkBytes);
  }
  void* take() {
    const std::lock_guard<std::mutex> lock(mutex);
    if (chunks.empty()) return nullptr;
    void* chunk = chunks.back();
    chunks.pop_back();
    return chunk;
  }
  // False when the chunk is not wanted.
  bool keep(void* chunk) noexcept {
    const std::lock_guard<std::mutex> lock(mutex);
    if (chunks.size() >= limit) return false;
    chunks.push_back(chunk);  // never allocates: room for limit chunks is reserved
    return true;
  }

 private:
  std::mutex mutex;
  std::size_t limit = 0;
  std::vector<void*> chunks;
};

// Never destroyed: objects may still be freed while the process exits.
Tspares& spares() {
  static auto* const all = new Tspares;
  return *all;
}

Tchunk* mapChunk() {
  if (void* reused = spares().take()) {
    held.fetch_add(chunkBytes, std::memory_order_relaxed);
    return new (reused) Tchunk;
  }
  // Twice the size leaves an aligned chunk inside; the rest goes back at once.
  void* p = mmap(nullptr, 2 * chunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t aligned = (start + chunkBytes - 1) & ~(chunkBytes - 1);
  if (aligned > start) munmap(p, aligned - start);
  munmap(reinterpret_cast<void*>(aligned + chunkBytes), start + chunkBytes - aligned);
  held.fetch_add(chunkBytes, std::memory_order_relaxed);
  return new (reinterpret_cast<void*>(aligned)) Tchunk;
}

void release(Tchunk* chunk) noexcept {
  if (chunk->live.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  chunk->~Tchunk();
  held.fetch_sub(chunkBytes, std::memory_order_relaxed);
  if (!spares().keep(chunk)) munmap(chunk, chunkBytes);
}

// The chunk a thread fills; dropped when the thread ends.
class Tfiller {
 public:
  ~Tfiller() {
    if (chunk) release(chunk);
  }

  void* take(std::size_t bytes) {
    bytes = (bytes + alignment - 1) / alignment * alignment;
    if (bytes > chunkBytes - firstOffset) throw std::bad_alloc();
    if (!chunk || used + bytes > chunkBytes) {
      Tchunk* fresh = mapChunk();
      if (chunk) release(chunk);
      chunk = fresh;
      used = firstOffset;
    }
    void* p = reinterpret_cast<char*>(chunk) + used;
    used += bytes;
    chunk->live.fetch_add(1, std::memory_order_relaxed);
    return p;
  }

 private:
  Tchunk* chunk = nullptr;
  std::size_t used = 0;
};

thread_local Tfiller filler;

}  // namespace

namespace arena {

void* take(std::size_t bytes) { return filler.take(bytes); }

void give(void* p) noexcept {
  release(reinterpret_cast<Tchunk*>(reinterpret_cast<std::uintptr_t>(p) & ~(chunkBytes - 1)));
}

std::size_t bytesHeld() { return held.load(std::memory_order_relaxed); }

void keepSpareBytes(std::size_t bytes) { spares().setLimit(bytes); }

}  // namespace arena
