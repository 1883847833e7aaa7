#include "files/ovmappedfile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include "files/ovtempcleanup.h"

namespace {

std::atomic<bool> unnamedAllowed{true};
std::atomic<unsigned> namedCount{0};
const char namePrefix[] = "tracewren-";

// Small files (a store has many) reserve little disk; large ones grow in steps
// that keep the calls to the file system rare.
constexpr uint64_t firstPiece = 64 << 10;
constexpr uint64_t largestPiece = 64 << 20;

uint64_t pageSize() {
  static const uint64_t size = uint64_t(sysconf(_SC_PAGESIZE));
  return size;
}

uint64_t roundToPages(uint64_t bytes) {
  const uint64_t page = pageSize();
  return (bytes + page - 1) / page * page;
}

// Named files are only made where unnamed ones are refused, so the directory
// is cleared of dead processes' files when the first named one is made there.
void removeLeftoversOnce(const std::string& dir) {
  static std::mutex lock;
  static std::set<std::string> cleared;
  std::lock_guard<std::mutex> guard(lock);
  if (cleared.insert(dir).second) tempcleanup::removeLeftovers(dir, namePrefix);
}

int openNamed(const std::string& dir) {
  removeLeftoversOnce(dir);
  const std::string stem = dir + "/" + namePrefix + std::to_string(getpid()) + "-";
  for (;;) {
    const std::string path = stem + std::to_string(namedCount++);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return -1;
    // Between open and unlink only a signal that cannot be caught leaves it behind.
    const int slot = tempcleanup::hold(path);
    unlink(path.c_str());
    tempcleanup::release(slot);
    return fd;
  }
}

}  // namespace

TmappedFile::TmappedFile(uint64_t capacity, std::string dir)
    : directory(dir.empty() ? captureDirectory() : std::move(dir)), reserved(roundToPages(capacity)) {}

TmappedFile::~TmappedFile() { release(); }

TmappedFile::TmappedFile(TmappedFile&& other) noexcept { *this = std::move(other); }

TmappedFile& TmappedFile::operator=(TmappedFile&& other) noexcept {
  if (this == &other) return *this;
  release();
  directory = std::move(other.directory);
  reserved = std::exchange(other.reserved, 0);
  base = std::exchange(other.base, nullptr);
  fd = std::exchange(other.fd, -1);
  mapped = std::exchange(other.mapped, 0);
  published.store(other.published.exchange(0, std::memory_order_acq_rel), std::memory_order_release);
  failure = std::move(other.failure);
  return *this;
}

void TmappedFile::release() {
  if (base) munmap(base, reserved);
  if (fd >= 0) close(fd);
  base = nullptr;
  fd = -1;
  mapped = 0;
  published.store(0, std::memory_order_release);
}

bool TmappedFile::fail(const std::string& why) {
  if (failure.empty()) failure = directory + ": " + why;
  return false;
}

bool TmappedFile::create() {
  void* range = mmap(nullptr, reserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (range == MAP_FAILED) return fail(std::strerror(errno));
  fd = -1;
#ifdef O_TMPFILE
  if (unnamedAllowed) fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
  if (fd < 0) fd = openNamed(directory);
  if (fd < 0) {
    const int why = errno;
    munmap(range, reserved);
    return fail(std::strerror(why));
  }
  base = static_cast<uint8_t*>(range);
  return true;
}

bool TmappedFile::growTo(uint64_t needed) {
  if (needed > reserved) return fail("more than the " + std::to_string(reserved) + " bytes it may hold");
  const uint64_t step = std::clamp(mapped, firstPiece, largestPiece);
  uint64_t target = std::min(reserved, std::max(roundToPages(needed), mapped + step));
  int why = posix_fallocate(fd, off_t(mapped), off_t(target - mapped));
  if (why != 0 && target > roundToPages(needed)) {
    // The last bytes a nearly full disk holds are worth keeping.
    target = roundToPages(needed);
    why = posix_fallocate(fd, off_t(mapped), off_t(target - mapped));
  }
  if (why != 0) {
    if (ftruncate(fd, off_t(mapped)) != 0) {
      // The length stays longer than the mapping; nothing reads past the mapping.
    }
    return fail(std::strerror(why));
  }
  void* piece =
      mmap(base + mapped, target - mapped, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, off_t(mapped));
  if (piece == MAP_FAILED) return fail(std::strerror(errno));
  mapped = target;
  return true;
}

bool TmappedFile::appendGrowing(const void* bytes, size_t count) {
  const uint64_t size = published.load(std::memory_order_relaxed);
  if (!base && !create()) return false;
  if (!growTo(size + count)) return false;
  std::memcpy(base + size, bytes, count);
  published.store(size + count, std::memory_order_release);
  return true;
}

std::string TmappedFile::captureDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

uint64_t TmappedFile::freeBytes(const std::string& dir) {
  struct statvfs fs {};
  if (statvfs(dir.c_str(), &fs) != 0) return 0;
  return uint64_t(fs.f_bavail) * fs.f_frsize;
}

void TmappedFile::allowUnnamedFiles(bool allow) { unnamedAllowed = allow; }
