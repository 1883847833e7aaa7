// The memory of one Lua state, kept apart from the program's heap: a state
// that decodes a million rows makes and drops a great many small blocks, and
// on the heap those would leave it fragmented for what runs after. All of it
// goes back to the system at once when the state is closed.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

class TluaHeap {
 public:
  // limit: the bytes the state may have in use at once.
  explicit TluaHeap(std::size_t limit) : limit(limit) {}
  ~TluaHeap();
  TluaHeap(const TluaHeap&) = delete;
  TluaHeap& operator=(const TluaHeap&) = delete;

  // As a lua_Alloc: ptr's block of osize bytes (ptr null: none) freed when nsize
  // is 0, else resized to nsize. Null when there is no memory or the state
  // would pass its limit, which Lua turns into a "not enough memory" error.
  void* resize(void* ptr, std::size_t osize, std::size_t nsize);
  static void* luaAlloc(void* heap, void* ptr, std::size_t osize, std::size_t nsize) {
    return static_cast<TluaHeap*>(heap)->resize(ptr, osize, nsize);
  }

 private:
  void* take(std::size_t size);
  void give(void* ptr, std::size_t size);
  void* move(void* ptr, std::size_t osize, std::size_t nsize);

  std::size_t limit;
  std::size_t used = 0;
  // Blocks of up to 64 KB come in sizes of powers of two, from 16 bytes on, each size
  // with the freed blocks of that size; larger ones are mapped alone.
  static constexpr std::size_t classes = 13;
  struct TfreeBlock {
    TfreeBlock* next;
  };
  std::array<TfreeBlock*, classes> freed{};
  std::vector<void*> chunks;  // mapped, each chunkBytes
  char* unused = nullptr;     // the rest of the last chunk
  std::size_t unusedBytes = 0;
};
