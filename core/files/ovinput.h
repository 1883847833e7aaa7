// An input file read once from its start to its end: a regular file, a FIFO,
// a pipe or standard input ("-"). Its first bytes are read at once, so that
// the kind of content can be told; readers then get them again before the
// rest. Opening a path twice would lose the head of a pipe and wait for ever
// on a FIFO whose writer has gone.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Tinput {
 public:
  // Enough for the longest magic told apart by content.
  static constexpr size_t kindBytes = 8;

  // Opens path, "-" meaning standard input, and reads its first bytes.
  explicit Tinput(const std::string& path);
  ~Tinput();
  Tinput(const Tinput&) = delete;
  Tinput& operator=(const Tinput&) = delete;

  // The path as given, "standard input" for "-": what messages name.
  const std::string& name() const { return label; }
  // "cannot open file: REASON" or "cannot read file: REASON" once opening or
  // reading failed, else "".
  const std::string& error() const { return failure; }

  // The first bytes: at least kindBytes unless the input is shorter or failed.
  const std::vector<uint8_t>& head() const { return first; }

  // Up to n next bytes, the head's first: the count, 0 at the end, -1 when
  // reading failed (errno and error() say why).
  ssize_t read(void* into, size_t n);
  // Appends everything not read yet to bytes. False when reading fails, and
  // when more than longest bytes come: then tooLong(), and no more than
  // longest + 1 bytes were read.
  bool readAll(std::vector<uint8_t>& bytes, uint64_t longest);
  bool tooLong() const { return overLong; }

 private:
  void fail(const char* what, int error);

  std::string label;
  int fd = -1;
  bool ownFd = false;
  uint64_t sizeHint = 0;  // of a regular file
  std::vector<uint8_t> first;
  size_t replayed = 0;  // bytes of first handed out
  std::string failure;
  int failureErrno = 0;
  bool overLong = false;
};
