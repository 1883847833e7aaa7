#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "files/ovmappedfile.h"
#include "support/smalldisk.h"

namespace {

// A fresh directory of its own, removed with what is left in it.
struct TscratchDir {
  std::string path;
  TscratchDir() {
    char name[] = "/tmp/twr-mapped-XXXXXX";
    path = mkdtemp(name);
  }
  ~TscratchDir() {
    for (const std::string& name : names()) unlink((path + "/" + name).c_str());
    rmdir(path.c_str());
  }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    if (DIR* dir = opendir(path.c_str())) {
      while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') found.push_back(entry->d_name);
      closedir(dir);
    }
    return found;
  }
};

struct TunnamedFiles {
  explicit TunnamedFiles(bool allow) { TmappedFile::allowUnnamedFiles(allow); }
  ~TunnamedFiles() { TmappedFile::allowUnnamedFiles(true); }
};

uint8_t patternAt(uint64_t i) { return uint8_t(i * 7 + (i >> 12)); }

bool appendPattern(TmappedFile& file, size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = patternAt(file.size() + i);
  return file.append(bytes.data(), count);
}

bool holdsPattern(const TmappedFile& file) {
  for (uint64_t i = 0; i < file.size(); ++i)
    if (file.data()[i] != patternAt(i)) return false;
  return true;
}

struct Trecord {
  uint32_t a;
  uint16_t b;
};

}  // namespace

TEST(MappedFile, GrowsInPlaceKeepsBytesAndStopsAtCapacity) {
  TscratchDir dir;
  TmappedFile file(16 << 20, dir.path);
  EXPECT_EQ(file.data(), nullptr);
  ASSERT_TRUE(appendPattern(file, 100));
  const uint8_t* start = file.data();
  // Across several pieces, in odd sizes that straddle their ends.
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(appendPattern(file, 65537 * (i % 5) + 4093)) << file.error();
  EXPECT_EQ(file.data(), start);
  EXPECT_TRUE(holdsPattern(file));
  const uint64_t before = file.size();
  // Beyond the capacity while the mapped part still has room.
  EXPECT_FALSE(appendPattern(file, 16 << 20));
  EXPECT_NE(file.error().find(dir.path), std::string::npos) << file.error();
  EXPECT_EQ(file.size(), before);
  ASSERT_TRUE(appendPattern(file, 1000));
  EXPECT_TRUE(holdsPattern(file));

  TmappedFile moved(std::move(file));
  EXPECT_EQ(moved.data(), start);
  EXPECT_EQ(moved.size(), before + 1000);
  EXPECT_TRUE(holdsPattern(moved));
  TmappedFile assigned;
  assigned = std::move(moved);
  ASSERT_TRUE(appendPattern(assigned, 10));
  EXPECT_TRUE(holdsPattern(assigned));

  TmappedArray<Trecord> records(1 << 20, dir.path);
  EXPECT_TRUE(records.empty());
  ASSERT_TRUE(records.push_back({1, 2}));
  std::vector<Trecord> more(50000);
  for (size_t i = 0; i < more.size(); ++i) more[i] = {uint32_t(i + 10), uint16_t(i)};
  ASSERT_TRUE(records.append(more.data(), more.size()));
  ASSERT_EQ(records.size(), 50001u);
  EXPECT_EQ(records[0].a, 1u);
  EXPECT_EQ(records[0].b, 2u);
  EXPECT_EQ(records[12345].a, 12354u);
  EXPECT_EQ(records.back().a, 50009u);
  records[1].b = 999;
  EXPECT_EQ(records.data()[1].b, 999u);
}

TEST(MappedFile, ReaderSeesWhatTheWriterPublished) {
  TscratchDir dir;
  TmappedFile file(64 << 20, dir.path);
  ASSERT_TRUE(appendPattern(file, 1));
  std::atomic<bool> done{false};
  bool consistent = true;
  std::thread reader([&] {
    while (!done.load()) {
      const uint64_t size = file.size();
      for (uint64_t i = size > 512 ? size - 512 : 0; i < size; ++i)
        if (file.data()[i] != patternAt(i)) consistent = false;
    }
  });
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(appendPattern(file, 16411));
  done = true;
  reader.join();
  EXPECT_TRUE(consistent);
}

TEST(MappedFile, LeavesNothingInTheDirectory) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "named");
    TunnamedFiles mode(unnamed);
    TscratchDir dir;
    {
      TmappedFile file(1 << 20, dir.path);
      ASSERT_TRUE(appendPattern(file, 5000));
      EXPECT_TRUE(dir.names().empty());
    }
    // A process killed while its file is open.
    const pid_t child = fork();
    if (child == 0) {
      TmappedFile file(1 << 20, dir.path);
      if (!appendPattern(file, 5000)) _exit(1);
      raise(SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(dir.names().empty());
  }
}

TEST(MappedFile, NamedFilesOfDeadProcessesAreRemoved) {
  TunnamedFiles mode(false);
  TscratchDir dir;
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string deadName = "tracewren-" + std::to_string(dead) + "-3";
  const std::string liveName = "tracewren-" + std::to_string(getppid()) + "-3";
  for (const std::string& name : {deadName, liveName, std::string("tracewren-x-1")})
    std::ofstream(dir.path + "/" + name) << "left";
  TmappedFile file(1 << 20, dir.path);
  ASSERT_TRUE(appendPattern(file, 10));
  std::vector<std::string> names = dir.names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{liveName, "tracewren-x-1"}));
}

// Fills the file until append fails, in a child: SIGBUS or SIGXFSZ must not end it.
// Exit status: 0 all well, 1 the error lacks reason, 2 the bytes are not all kept.
int fillInChild(const std::string& dir, uint64_t room, const char* reason, void (*prepare)() = nullptr) {
  const pid_t child = fork();
  if (child == 0) {
    if (prepare) prepare();
    TmappedFile file(64 << 20, dir);
    while (appendPattern(file, 40000)) {
    }
    const bool named = file.error().find(reason) != std::string::npos;
    // As much as there is room for, to the page the last append needed.
    const bool kept = file.size() + 45000 > room && file.size() <= room && holdsPattern(file);
    _exit((named ? 0 : 1) | (kept ? 0 : 2));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(MappedFile, FullDiskFailsAppendAndKeepsWhatWasWritten) {
  TsmallDisk disk(2 << 20);
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a file system here: " << disk.why();
  const int status = fillInChild(disk.path(), disk.room(), "No space left on device");
  EXPECT_EQ(status, 0) << "1: error text, 2: bytes kept, 100+: signal";
  EXPECT_EQ(disk.room(), uint64_t(2 << 20)) << "the room is given back";
}

TEST(MappedFile, FileSizeLimitFailsAppendAndKeepsWhatWasWritten) {
  TscratchDir dir;
  const int status = fillInChild(dir.path, 3 << 20, "File too large", [] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{3 << 20, 3 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(status, 0) << "1: error text, 2: bytes kept, 100+: signal";
}

TEST(MappedFile, FreeBytesOfTheDirectory) {
  TscratchDir dir;
  EXPECT_GT(TmappedFile::freeBytes(dir.path), 0u);
  EXPECT_EQ(TmappedFile::freeBytes(dir.path + "/missing"), 0u);
  const char* saved = std::getenv("TMPDIR");
  const std::string before = saved ? saved : "";
  setenv("TMPDIR", dir.path.c_str(), 1);
  EXPECT_EQ(TmappedFile::captureDirectory(), dir.path);
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(TmappedFile::captureDirectory(), "/tmp");
  if (saved)
    setenv("TMPDIR", before.c_str(), 1);
  else
    unsetenv("TMPDIR");
}
