// Saving: a file is replaced only by a complete one, a killed save leaves no
// temporary behind, and a link, a pipe or a device at the path is written
// through rather than replaced.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "decode/ovtree2lin.h"
#include "files/ovdataio.h"
#include "files/ovfilewriter.h"
#include "files/ovpcapexport.h"
#include "support/testfiles.h"

namespace {

namespace fs = std::filesystem;

// Data packets of 64 bytes that do not compress away.
Tcapture dataCapture(uint32_t packets) {
  Tcapture capture;
  for (uint32_t i = 0; i < packets; ++i) {
    auto d = std::make_shared<Tdata>();
    d->time = i * 1000ull;
    for (uint32_t b = 0; b < 64; ++b) d->data.push_back(static_cast<uint8_t>((i * 2654435761u) >> (b % 24)));
    capture.appendRoot(d);
  }
  return capture;
}

// The outputs written through TfileWriter; each returns its error ("" when saved).
using Tsave = std::function<std::string(const Tcapture&, const std::string&)>;

std::string saveSample(const Tcapture& capture, const std::string& path) {
  TdataIO io;
  io.saveLinearToFile(capture, path);
  return io.lastError();
}

std::string savePcap(const Tcapture& capture, const std::string& path) {
  TexportCounts counts;
  std::string error;
  exportPcap(capture, path, {}, counts, error);
  return error;
}

// A directory of its own, where whatever a save leaves behind shows.
struct TscratchDir {
  const std::string path = tempPath("saves");
  TscratchDir() {
    fs::remove_all(path);
    fs::create_directory(path);
  }
  ~TscratchDir() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  std::set<std::string> names() const {
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(path))
      found.insert(entry.path().lexically_relative(path).string());
    return found;
  }
};

mode_t modeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode;
}

int reportFd = -1;

// The save has passed the file-size limit: part of the file is written.
void onFileTooLarge(int) {
  const char midway = 'm';
  if (write(reportFd, &midway, 1) == 1)
    for (;;) pause();
  _exit(3);
}

// A child that outlives its signal is a failure, not a hang.
int waitAtMostSeconds(pid_t child, int seconds) {
  int status = -1;
  for (int i = 0; i < seconds * 100; ++i) {
    if (waitpid(child, &status, WNOHANG) == child) return status;
    usleep(10000);
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return status;
}

struct Tchild {
  int status = -1;
  bool reachedMidway = false;
  std::set<std::string> namesMidway;
};

// Saves capture to path in a child under a file-size limit. With sig the child
// stops where the limit is passed and is sent sig there; without it the
// save fails with "write error: File too large".
Tchild saveInChild(const Tsave& save, const Tcapture& capture, const std::string& path, bool unnamed, int sig,
                   const TscratchDir& dir) {
  constexpr rlim_t limit = 16 << 10;
  int pipeFds[2];
  EXPECT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    reportFd = pipeFds[1];
    TfileWriter::allowUnnamedTemporaries(unnamed);
    for (int s : {SIGHUP, SIGINT, SIGTERM}) signal(s, SIG_DFL);
    signal(SIGXFSZ, sig ? onFileTooLarge : SIG_IGN);
    const rlimit small{limit, limit};
    setrlimit(RLIMIT_FSIZE, &small);
    _exit(save(capture, path) == "write error: File too large" ? 0 : 4);
  }
  close(pipeFds[1]);
  Tchild result;
  char midway = 0;
  result.reachedMidway = read(pipeFds[0], &midway, 1) == 1;
  close(pipeFds[0]);
  if (result.reachedMidway) {
    result.namesMidway = dir.names();
    kill(child, sig);
  }
  result.status = waitAtMostSeconds(child, 20);
  return result;
}

}  // namespace

// Where the new file goes; what a failed or killed save leaves.
TEST(SafeSave, ReplacesOnlyWithACompleteFileAndWritesThroughWhatIsNoFile) {
  const Tcapture small = dataCapture(20), other = dataCapture(30), big = dataCapture(2000);
  TscratchDir dir;
  const std::string fresh = dir / "fresh.ovd", old = dir / "old.ovd";

  // New files get the usual mode; a replaced one keeps its own and, as root, its owner.
  const mode_t umaskBefore = umask(022);
  EXPECT_EQ(saveSample(small, fresh), "");
  EXPECT_EQ(saveSample(other, old), "");
  EXPECT_EQ(modeOf(fresh) & 07777, 0644u);
  chmod(old.c_str(), 0600);
  const bool root = geteuid() == 0;
  const uid_t owner = root ? 4321 : geteuid();  // only root can give a file away
  const gid_t group = root ? 4322 : getegid();
  ASSERT_EQ(chown(old.c_str(), owner, group), 0);
  EXPECT_EQ(saveSample(small, old), "");
  EXPECT_EQ(modeOf(old) & 07777, 0600u);
  EXPECT_TRUE(readFile(old) == readFile(fresh));
  struct stat st {};
  stat(old.c_str(), &st);
  EXPECT_TRUE(st.st_uid == owner && st.st_gid == group) << st.st_uid << ":" << st.st_gid;
  umask(umaskBefore);

  // The file is replaced whole: a hard link elsewhere keeps what it had.
  ASSERT_EQ(link(old.c_str(), (dir / "snapshot.ovd").c_str()), 0);
  EXPECT_EQ(saveSample(other, old), "");
  EXPECT_TRUE(readFile(dir / "snapshot.ovd") == readFile(fresh));
  const std::string before = readFile(old);
  ASSERT_FALSE(before == readFile(fresh));

  // A relative link is followed from its own directory, dangling or not, and stays a link.
  fs::create_directory(dir / "sub");
  ASSERT_EQ(symlink("sub/real.ovd", (dir / "link.ovd").c_str()), 0);
  EXPECT_EQ(saveSample(small, dir / "link.ovd"), "");
  EXPECT_EQ(savePcap(small, dir / "link.ovd"), "");
  EXPECT_TRUE(S_ISLNK(modeOf(dir / "link.ovd")));
  EXPECT_TRUE(readFile(dir / "sub/real.ovd") == readFile(dir / "link.ovd"));
  EXPECT_EQ(readFile(dir / "sub/real.ovd").substr(0, 4), "\x4d\x3c\xb2\xa1");  // the pcap

  // A pipe is written into, and stays a pipe. The reader opens first; the file fits its buffer.
  const std::string pipePath = dir / "pipe";
  ASSERT_EQ(mkfifo(pipePath.c_str(), 0600), 0);
  const int reader = open(pipePath.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(saveSample(small, pipePath), "");
  std::string piped(1 << 16, '\0');
  const ssize_t n = read(reader, piped.data(), piped.size());
  close(reader);
  piped.resize(n > 0 ? n : 0);
  EXPECT_TRUE(piped == readFile(fresh)) << piped.size();
  EXPECT_TRUE(S_ISFIFO(modeOf(pipePath)));

  // A full device says so and stays a device. Root makes its own, so that a
  // fault replacing device nodes cannot replace the machine's.
  std::string full = "/dev/full";
  if (root) {
    full = dir / "full";
    ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
  }
  for (const Tsave& save : {Tsave(saveSample), Tsave(savePcap)}) {
    EXPECT_EQ(save(big, full), "write error: No space left on device");
    EXPECT_TRUE(S_ISCHR(modeOf(full)));
  }

  // A failed save keeps the old file, with a named temporary or an unnamed one.
  for (const bool unnamed : {true, false}) {
    for (const Tsave& save : {Tsave(saveSample), Tsave(savePcap)}) {
      const Tchild child = saveInChild(save, big, old, unnamed, 0, dir);
      EXPECT_TRUE(WIFEXITED(child.status) && WEXITSTATUS(child.status) == 0)
          << "the save did not fail as it should";
      EXPECT_TRUE(readFile(old) == before) << "the old file was changed";
    }
  }

  // Killed part-way: SIGKILL leaves nothing of an unnamed temporary; the
  // catchable signals remove a named one, and the save dies of them still.
  const std::pair<bool, int> kills[] = {{true, SIGKILL}, {false, SIGTERM}, {false, SIGINT}, {false, SIGHUP}};
  for (const auto& [unnamed, sig] : kills) {
    SCOPED_TRACE(std::string(unnamed ? "unnamed, " : "named, ") + strsignal(sig));
    const Tchild child = saveInChild(saveSample, big, old, unnamed, sig, dir);
    ASSERT_TRUE(child.reachedMidway) << "status " << child.status;
    EXPECT_TRUE(WIFSIGNALED(child.status) && WTERMSIG(child.status) == sig) << child.status;
    size_t temporaries = 0;
    for (const std::string& name : child.namesMidway) temporaries += name.rfind("old.ovd.tmp", 0) == 0;
    EXPECT_EQ(temporaries, unnamed ? 0u : 1u) << "a temporary has a name part-way only without O_TMPFILE";
    EXPECT_TRUE(readFile(old) == before) << "the old file was changed";
  }

  std::set<std::string> expected = {"fresh.ovd", "old.ovd",      "snapshot.ovd", "link.ovd",
                                    "sub",       "sub/real.ovd", "pipe"};
  if (root) expected.insert("full");
  EXPECT_EQ(dir.names(), expected) << "a temporary was left behind";
}
