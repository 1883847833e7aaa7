// Whole files in and out, and scratch file names of this test process.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Per process: other builds may run the same tests at the same time.
inline std::string tempPath(const std::string& name) {
  return testing::TempDir() + "twr_" + std::to_string(getpid()) + "_" + name;
}
