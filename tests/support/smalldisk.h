// A directory of one test's own with a small file system mounted on it, where
// the test may mount one (as root): a disk that a capture can fill for real.
#pragma once

#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class TsmallDisk {
 public:
  explicit TsmallDisk(uint64_t bytes) {
    std::string pattern = (std::filesystem::temp_directory_path() / "twr-disk-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return;
    dir = pattern;
    const std::string size = "size=" + std::to_string(bytes);
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, size.c_str()) == 0)
      isMounted = true;
    else
      refusal = std::strerror(errno);
  }
  ~TsmallDisk() {
    if (isMounted) umount2(dir.c_str(), MNT_DETACH);
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  TsmallDisk(const TsmallDisk&) = delete;
  TsmallDisk& operator=(const TsmallDisk&) = delete;

  bool mounted() const { return isMounted; }
  // Why it could not be mounted.
  const std::string& why() const { return refusal; }
  const std::string& path() const { return dir; }

  // A file that leaves about `free` bytes of room.
  void fillUntil(uint64_t free) const {
    std::ofstream out(dir + "/filler", std::ios::binary | std::ios::app);
    const std::vector<char> block(4096, 'f');
    while (room() > free + block.size() && out.write(block.data(), block.size()).flush()) {
    }
  }
  uint64_t room() const { return std::filesystem::space(dir).available; }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      found.push_back(entry.path().filename().string());
    return found;
  }

 private:
  std::string dir;
  bool isMounted = false;
  std::string refusal;
};
