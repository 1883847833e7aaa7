// A temporary working directory for one test: entered on construction, left
// and removed on destruction, so scripts are found at "./scripts/init.lua"
// when TWR_SCRIPTS is unset and no others are installed.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

class ScratchDir {
 public:
  ScratchDir() : previous(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "twr-lua-XXXXXX").string();
    path = mkdtemp(pattern.data());
    std::filesystem::current_path(path);
  }
  ~ScratchDir() {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(path);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  void write(const std::string& name, const std::string& text) const {
    const auto file = path / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }
  const std::filesystem::path& dir() const { return path; }

 private:
  std::filesystem::path previous;
  std::filesystem::path path;
};
