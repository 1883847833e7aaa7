#include "files/ovluaheap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t smallest = 16;
constexpr std::size_t chunkBytes = std::size_t{1} << 20;

// The class of a block of `size` bytes; from `classes` on, one mapped alone.
std::size_t classOf(std::size_t size) {
  if (size > chunkBytes) return ~std::size_t{0};
  std::size_t c = 0;
  while ((smallest << c) < size) ++c;
  return c;
}

void* mapped(std::size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

}  // namespace

TluaHeap::~TluaHeap() {
  for (void* chunk : chunks) munmap(chunk, chunkBytes);
}

void* TluaHeap::take(std::size_t size) {
  const std::size_t c = classOf(size);
  if (c >= classes) return mapped(size);
  if (TfreeBlock* block = freed[c]) {
    freed[c] = block->next;
    return block;
  }
  const std::size_t bytes = smallest << c;
  if (unusedBytes < bytes) {
    // What is left of the last chunk is split among the classes that fit it.
    for (std::size_t k = classes; k-- > 0;)
      for (; unusedBytes >= (smallest << k); unused += smallest << k, unusedBytes -= smallest << k)
        give(unused, smallest << k);
    void* chunk = mapped(chunkBytes);
    if (!chunk) return nullptr;
    chunks.push_back(chunk);
    unused = static_cast<char*>(chunk);
    unusedBytes = chunkBytes;
  }
  void* block = unused;
  unused += bytes;
  unusedBytes -= bytes;
  return block;
}

void TluaHeap::give(void* ptr, std::size_t size) {
  const std::size_t c = classOf(size);
  if (c >= classes) {
    munmap(ptr, size);
    return;
  }
  freed[c] = new (ptr) TfreeBlock{freed[c]};
}

void* TluaHeap::resize(void* ptr, std::size_t osize, std::size_t nsize) {
  const std::size_t old = ptr ? osize : 0;
  if (nsize > old && used + (nsize - old) > limit) return nullptr;
  if (nsize == 0) {
    if (ptr) give(ptr, osize);
    used -= old;
    return nullptr;
  }
  void* p = ptr ? move(ptr, osize, nsize) : take(nsize);
  if (p) used = used - old + nsize;
  return p;
}

void* TluaHeap::move(void* ptr, std::size_t osize, std::size_t nsize) {
  const std::size_t oldClass = classOf(osize), newClass = classOf(nsize);
  if (oldClass == newClass && newClass < classes) return ptr;
  if (oldClass >= classes && newClass >= classes) {
    void* p = mremap(ptr, osize, nsize, MREMAP_MAYMOVE);
    return p == MAP_FAILED ? nullptr : p;
  }
  void* p = take(nsize);
  // Lua counts on a block that shrinks staying where it is when no other is to be had.
  if (!p) return nsize < osize ? ptr : nullptr;
  std::memcpy(p, ptr, std::min(osize, nsize));
  give(ptr, osize);
  return p;
}
