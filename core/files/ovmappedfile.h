// Append-only bytes in a file of the capture directory, mapped into memory so
// that the kernel, not the heap, holds what nobody is looking at. The file has
// no name (or loses it right after creation), so it goes with the object and
// never outlives a crashed process.
//
// One writer appends; readers on other threads may read [0, size()) meanwhile:
// addresses never move, because a fixed range of address space is reserved up
// front and the file is mapped into it piece by piece. Disk space is reserved
// before a piece is mapped, so a full disk or a file-size limit makes append
// fail (what was appended before stays readable) and never raises SIGBUS.
// Under a file-size limit the kernel also sends SIGXFSZ, which ends a process
// that has not ignored it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

class TmappedFile {
 public:
  static constexpr uint64_t defaultCapacity = uint64_t(64) << 30;

  // Nothing is created until the first append; capacity bounds the size for
  // good (address space is reserved, not memory); an empty dir means
  // captureDirectory().
  explicit TmappedFile(uint64_t capacity = defaultCapacity, std::string dir = {});
  ~TmappedFile();
  TmappedFile(TmappedFile&& other) noexcept;
  TmappedFile& operator=(TmappedFile&& other) noexcept;
  TmappedFile(const TmappedFile&) = delete;
  TmappedFile& operator=(const TmappedFile&) = delete;

  // False with error() "DIR: WHY" when the file cannot be made or grown (the
  // disk full, a file-size limit, the capacity reached); nothing is added then.
  // Inline for the common case, room already mapped: a record's fixed-size
  // copy is then a plain store.
  bool append(const void* bytes, size_t count) {
    const uint64_t size = published.load(std::memory_order_relaxed);
    if (size + count > mapped) return appendGrowing(bytes, count);
    if (count != 0) std::memcpy(base + size, bytes, count);
    published.store(size + count, std::memory_order_release);
    return true;
  }

  // Published with release: a reader that loads size() may read that many bytes.
  uint64_t size() const { return published.load(std::memory_order_acquire); }
  uint64_t capacity() const { return reserved; }
  uint8_t* data() { return base; }
  const uint8_t* data() const { return base; }
  // "" until an append fails; the first failure's reason.
  const std::string& error() const { return failure; }

  // $TMPDIR, else /tmp.
  static std::string captureDirectory();
  // Bytes an unprivileged user may still write in dir; 0 when it cannot be told.
  static uint64_t freeBytes(const std::string& dir);
  // Off: named files unlinked at once, as on file systems without unnamed ones (for tests).
  static void allowUnnamedFiles(bool allow);

 private:
  bool create();
  bool growTo(uint64_t needed);
  bool appendGrowing(const void* bytes, size_t count);
  bool fail(const std::string& why);
  void release();

  std::string directory;
  uint64_t reserved = 0;  // bytes of address space, whole pages
  uint8_t* base = nullptr;
  int fd = -1;
  uint64_t mapped = 0;  // bytes of the file mapped at base, disk reserved for them
  std::atomic<uint64_t> published{0};
  std::string failure;
};

// Records of a trivially copyable type in a TmappedFile. The reader rule is the
// file's: size() bounds what another thread may read.
template <typename T>
class TmappedArray {
  static_assert(std::is_trivially_copyable<T>::value, "records are copied as bytes");

 public:
  explicit TmappedArray(uint64_t capacityRecords = TmappedFile::defaultCapacity / sizeof(T),
                        std::string dir = {})
      : file(capacityRecords * sizeof(T), std::move(dir)) {}

  bool push_back(const T& record) { return file.append(&record, sizeof(T)); }
  bool append(const T* records, size_t count) { return file.append(records, count * sizeof(T)); }

  size_t size() const { return size_t(file.size() / sizeof(T)); }
  bool empty() const { return file.size() == 0; }
  T* data() { return reinterpret_cast<T*>(file.data()); }
  const T* data() const { return reinterpret_cast<const T*>(file.data()); }
  T& operator[](size_t i) { return data()[i]; }
  const T& operator[](size_t i) const { return data()[i]; }
  T& back() { return data()[size() - 1]; }
  const T& back() const { return data()[size() - 1]; }
  const std::string& error() const { return file.error(); }

 private:
  TmappedFile file;
};
