// Writes an output file so that nothing half written ever stands at its path.
// A regular file (or none) is replaced only by the complete new one, written
// beside it as an unnamed temporary where the file system allows: a killed
// save leaves no temporary behind. A symbolic link is written through, and the
// replaced file keeps its mode and, where allowed, its owner. Hard links to it
// keep the old content: replacing atomically means a new file. What is not a
// regular file (a device, a pipe) is written directly, and "-" is standard
// output.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

class TfileWriter {
 public:
  TfileWriter() = default;
  // Drops an output that was not committed: what stood at the path stays.
  ~TfileWriter();
  TfileWriter(const TfileWriter&) = delete;
  TfileWriter& operator=(const TfileWriter&) = delete;

  // False with lastError() "cannot create file: WHY".
  bool open(const std::string& path);
  // Buffered; false with lastError() "write error: WHY" once anything failed.
  bool write(const void* data, size_t size);
  // Flushes, syncs and puts the file in its place; false with lastError()
  // "write error: WHY" when anything failed, what stood at the path then kept.
  bool commit();

  bool ok() const { return file && error.empty(); }
  // Why the output failed ("" while all is well).
  const std::string& lastError() const { return error; }

  // Off: a named temporary as on file systems without unnamed ones, for tests.
  static void allowUnnamedTemporaries(bool allow);

 private:
  enum class Tmode { direct, unnamed, named };

  int openTemporary();
  // Tries temporary names beside the target until create makes one.
  bool claimTemporaryName(const std::function<bool(const std::string&)>& create);
  bool putInPlace();
  void fail(const char* what);
  void close();

  FILE* file = nullptr;
  Tmode mode = Tmode::direct;
  std::string target;     // the path with its symbolic links followed
  std::string temporary;  // the temporary's name, while it has one
  int cleanupSlot = -1;
  // Of an existing regular file, whose mode and owner these are.
  bool replacing = false;
  mode_t oldMode = 0;
  uid_t oldOwner = 0;
  gid_t oldGroup = 0;
  std::string error;
};
