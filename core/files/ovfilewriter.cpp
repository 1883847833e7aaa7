#include "files/ovfilewriter.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "files/ovtempcleanup.h"

namespace {

constexpr int maxLinkHops = 40;
constexpr int maxNameAttempts = 100;

std::atomic<bool> unnamedAllowed{true};

// The file a write through path reaches, which need not exist yet; false
// with errno set when a link cannot be read or links loop.
bool followLinks(std::string& path) {
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    if (hops == maxLinkHops) {
      errno = ELOOP;
      return false;
    }
    char buffer[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0) return false;
    if (static_cast<size_t>(n) == sizeof buffer) {
      errno = ENAMETOOLONG;
      return false;
    }
    std::string next(buffer, static_cast<size_t>(n));
    // A relative link is read from the link's own directory.
    const size_t slash = path.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    path = next;
  }
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// An unnamed file is given a name through its /proc entry, which needs no privilege.
std::string procName(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Unique to this process and attempt.
std::string temporaryName(const std::string& target, int attempt) {
  return target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(attempt);
}

}  // namespace

void TfileWriter::allowUnnamedTemporaries(bool allow) { unnamedAllowed = allow; }

TfileWriter::~TfileWriter() { close(); }

bool TfileWriter::open(const std::string& path) {
  close();
  error.clear();
  replacing = false;
  mode = Tmode::direct;
  int fd = -1;
  if (path.empty()) {
    errno = ENOENT;
  } else if (path == "-") {
    // A descriptor of its own: closing it leaves standard output open.
    fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  } else {
    target = path;
    struct stat st {};
    if (!followLinks(target)) {
      fail("cannot create file");
      return false;
    }
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
      fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    } else {
      replacing = exists;
      oldMode = st.st_mode & 07777;
      oldOwner = st.st_uid;
      oldGroup = st.st_gid;
      fd = openTemporary();
    }
  }
  if (fd >= 0) file = fdopen(fd, "wb");
  if (!file) {
    fail("cannot create file");
    if (fd >= 0) ::close(fd);
    close();
    return false;
  }
  return true;
}

int TfileWriter::openTemporary() {
  if (unnamedAllowed) {
    const int fd = ::open(directoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0 && access(procName(fd).c_str(), F_OK) == 0) {
      mode = Tmode::unnamed;
      return fd;
    }
    if (fd >= 0) ::close(fd);
  }
  mode = Tmode::named;
  int fd = -1;
  claimTemporaryName([&](const std::string& name) {
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd >= 0;
  });
  return fd;
}

bool TfileWriter::claimTemporaryName(const std::function<bool(const std::string&)>& create) {
  for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
    temporary = temporaryName(target, attempt);
    // Guarded before it exists: a name this process may take is no one else's.
    cleanupSlot = tempcleanup::hold(temporary);
    if (create(temporary)) return true;
    const int why = errno;
    tempcleanup::release(cleanupSlot);
    cleanupSlot = -1;
    temporary.clear();
    errno = why;
    if (why != EEXIST) return false;
  }
  return false;
}

bool TfileWriter::write(const void* data, size_t size) {
  if (!ok()) return false;
  if (size != 0 && std::fwrite(data, 1, size, file) != size) fail("write error");
  return ok();
}

bool TfileWriter::commit() {
  if (!ok()) return false;
  const int fd = fileno(file);
  // Devices and pipes cannot be synced (EINVAL); that is no failure.
  bool done = std::fflush(file) == 0 && (fsync(fd) == 0 || errno == EINVAL);
  if (done && replacing) {
    // Only root may keep another's file theirs. A file that cannot keep its
    // owner and group loses its set-id bits, as chown would take them.
    const bool owned = fchown(fd, oldOwner, oldGroup) == 0;
    done = fchmod(fd, owned ? oldMode : oldMode & 0777) == 0;
  }
  done = done && (mode == Tmode::direct || putInPlace());
  if (!done) {
    fail("write error");
    return false;
  }
  const bool closed = std::fclose(file) == 0;
  file = nullptr;
  if (!closed) fail("write error");
  close();
  return closed;
}

bool TfileWriter::putInPlace() {
  // linkat cannot replace a name: the file gets a temporary one, renamed over
  // the target at once.
  const std::string unnamed = procName(fileno(file));
  if (mode == Tmode::unnamed && !claimTemporaryName([&](const std::string& name) {
        return linkat(AT_FDCWD, unnamed.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
      }))
    return false;
  if (std::rename(temporary.c_str(), target.c_str()) != 0) return false;
  temporary.clear();
  return true;
}

void TfileWriter::fail(const char* what) {
  const int why = errno ? errno : EIO;
  if (error.empty()) error = std::string(what) + ": " + std::strerror(why);
}

void TfileWriter::close() {
  if (file) std::fclose(file);
  file = nullptr;
  if (!temporary.empty()) unlink(temporary.c_str());
  temporary.clear();
  tempcleanup::release(cleanupSlot);
  cleanupSlot = -1;
}
