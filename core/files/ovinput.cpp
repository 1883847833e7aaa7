#include "files/ovinput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

// One read of a regular file gets this much; a pipe gives what it holds.
constexpr size_t headRead = size_t{1} << 16;

}  // namespace

Tinput::Tinput(const std::string& path) : label(path == "-" ? "standard input" : path) {
  if (path == "-") {
    fd = STDIN_FILENO;
  } else {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      fail("cannot open file", errno);
      return;
    }
    ownFd = true;
  }
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) sizeHint = static_cast<uint64_t>(st.st_size);
  first.resize(headRead);
  size_t have = 0;
  while (have < kindBytes) {
    const ssize_t n = ::read(fd, first.data() + have, first.size() - have);
    if (n > 0) {
      have += static_cast<size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      fail("cannot read file", errno);
      break;
    }
  }
  first.resize(have);
}

Tinput::~Tinput() {
  if (ownFd) close(fd);
}

void Tinput::fail(const char* what, int error) {
  failureErrno = error;
  failure = std::string(what) + ": " + std::strerror(error);
}

ssize_t Tinput::read(void* into, size_t n) {
  if (replayed < first.size()) {
    const size_t part = std::min(n, first.size() - replayed);
    std::memcpy(into, first.data() + replayed, part);
    replayed += part;
    return static_cast<ssize_t>(part);
  }
  if (!failure.empty()) {
    errno = failureErrno;
    return -1;
  }
  for (;;) {
    const ssize_t got = ::read(fd, into, n);
    if (got >= 0) return got;
    if (errno != EINTR) {
      fail("cannot read file", errno);
      return -1;
    }
  }
}

bool Tinput::readAll(std::vector<uint8_t>& bytes, uint64_t longest) {
  // One byte past longest tells a stream that is too long from one that is not.
  const uint64_t limit = longest == std::numeric_limits<uint64_t>::max() ? longest : longest + 1;
  bytes.reserve(bytes.size() + static_cast<size_t>(std::min(sizeHint, limit)));
  const size_t start = bytes.size();
  uint8_t block[1 << 16];
  for (uint64_t total = 0;;) {
    const ssize_t n = read(block, static_cast<size_t>(std::min<uint64_t>(sizeof block, limit - total)));
    if (n <= 0) return n == 0;
    total += static_cast<uint64_t>(n);
    // Grown as a vector grows, but never past what may be kept.
    if (bytes.capacity() - bytes.size() < static_cast<size_t>(n))
      bytes.reserve(start + static_cast<size_t>(
                                std::min(std::max<uint64_t>(2 * (bytes.size() - start), total), limit)));
    bytes.insert(bytes.end(), block, block + n);
    if (total > longest) {
      overLong = true;
      return false;
    }
  }
}
