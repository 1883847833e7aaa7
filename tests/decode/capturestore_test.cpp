// A capture kept in files: they go with the capture (also when the process
// dies), a full disk ends a decode with what was written, and the objects
// made from the files outlive them.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "decode/ovchain.h"
#include "decode/ovexthrd.h"
#include "decode/ovgroup.h"
#include "files/ovmappedfile.h"
#include "files/ovrowutils.h"
#include "support/testfiles.h"
#include "synth/generator.h"

namespace {

// A directory of its own for the capture's files, as $TMPDIR while it lives.
class TcaptureDir {
 public:
  TcaptureDir() {
    char name[] = "/tmp/twr-store-XXXXXX";
    path = mkdtemp(name);
    const char* old = std::getenv("TMPDIR");
    if (old) previous = old;
    setenv("TMPDIR", path.c_str(), 1);
  }
  ~TcaptureDir() {
    if (previous.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", previous.c_str(), 1);
    for (const std::string& name : entries()) unlink((path + "/" + name).c_str());
    rmdir(path.c_str());
  }
  std::vector<std::string> entries() const { return namesIn(path, false); }
  // This process's open files in the directory.
  size_t openFiles() const {
    size_t count = 0;
    for (const std::string& fd : namesIn("/proc/self/fd", true)) {
      char target[4096];
      const ssize_t n = readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
      if (n > 0 && std::string(target, static_cast<size_t>(n)).rfind(path + "/", 0) == 0) ++count;
    }
    return count;
  }

  std::string path;

 private:
  static std::vector<std::string> namesIn(const std::string& dir, bool all) {
    std::vector<std::string> found;
    if (DIR* d = opendir(dir.c_str())) {
      while (const dirent* entry = readdir(d))
        if (all ? entry->d_name[0] != '.'
                : std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
          found.push_back(entry->d_name);
      closedir(d);
    }
    return found;
  }
  std::string previous;
};

std::vector<uint8_t> exampleRaw() {
  const std::string example = readFile(TWR_SOURCE_DIR "/data/example.raw");
  return std::vector<uint8_t>(example.begin(), example.end());
}

std::string rowTexts(const Tcapture& capture, size_t rows) {
  std::string text;
  for (size_t r = 0; r < rows; ++r) text += rowutils::objToString(capture.row(r).obj) + "\n";
  return text;
}

}  // namespace

TEST(CaptureStore, FilesGoWithTheCaptureAndWithAProcessThatDies) {
  const std::vector<uint8_t> raw = exampleRaw();
  TcaptureDir dir;
  {
    // A second decode replaces the first: only one capture's files stay open.
    TexThread ex;
    ASSERT_TRUE(ex.startDecode(&raw));
    const size_t files = dir.openFiles();
    EXPECT_GT(files, 0u);
    ASSERT_TRUE(ex.startDecode(&raw));
    EXPECT_EQ(dir.openFiles(), files);
    // Objects held elsewhere do not hold the files.
    const TlinRow held = ex.capture->row(ex.capture->rowCount() / 2);
    ex.capture->clear();
    EXPECT_EQ(dir.openFiles(), 0u);
    EXPECT_FALSE(rowutils::objToString(held.obj).empty());
  }
  EXPECT_EQ(dir.openFiles(), 0u);
  EXPECT_TRUE(dir.entries().empty());

  for (const bool unnamed : {true, false}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TmappedFile::allowUnnamedFiles(unnamed);
      Tcapture capture;
      TdecodeChain(capture).takeRaw(raw.data(), raw.size(), true);
      kill(getpid(), capture.rowCount() > 0 ? SIGKILL : SIGTERM);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "unnamed files " << unnamed;
    EXPECT_TRUE(dir.entries().empty()) << "unnamed files " << unnamed;
  }
}

TEST(CaptureStore, AFullDiskEndsTheDecodeWithWhatWasWrittenAndSaysSo) {
  const std::vector<uint8_t> raw = synth::rawCapture("storage", 1.0, 5);
  Tcapture whole;
  TdecodeChain(whole).takeRaw(raw.data(), raw.size(), true);
  TcaptureDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Every file of the store may hold at most 64 KiB: its bytes of packets need more.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 << 10, 64 << 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    auto ex = std::make_unique<TexThread>();
    const bool done = ex->startDecode(&raw);
    const Tcapture& capture = *ex->capture;
    const size_t rows = capture.rowCount();
    int failed = 0;
    failed |= !done ? 1 : 0;
    failed |= ex->failureText().find("File too large") == std::string::npos ? 2 : 0;
    failed |= rows == 0 || rows >= whole.rowCount() ? 4 : 0;
    failed |= rowTexts(capture, rows) != rowTexts(whole, rows) ? 8 : 0;
    std::_Exit(failed);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  // 1: not done; 2: no word of the full disk; 4: nothing or everything kept; 8: rows kept differ.
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CaptureStore, ObjectsMadeFromTheStoreOutliveIt) {
  const std::vector<uint8_t> raw = exampleRaw();
  auto capture = std::make_unique<Tcapture>();
  TdecodeChain(*capture).takeRaw(raw.data(), raw.size(), true);
  std::vector<TlinRow> held;
  std::string expected;
  for (size_t r = 0; r < capture->rowCount(); ++r) {
    const TlinRow row = capture->row(r);
    if (row.obj->objType != otTransfer && row.obj->objType != otData) continue;
    held.push_back(row);
    expected += rowutils::objToString(row.obj);
  }
  ASSERT_FALSE(held.empty());
  // A new capture in its place, and the old one gone.
  *capture = Tcapture();
  TdecodeChain(*capture).takeRaw(raw.data(), raw.size(), true);
  capture.reset();
  std::string text;
  for (const TlinRow& row : held) {
    text += rowutils::objToString(row.obj);
    if (row.obj->objType == otTransfer) static_cast<Ttransfer&>(*row.obj).findData();
  }
  EXPECT_EQ(text, expected);
}
