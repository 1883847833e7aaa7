// The content of a gzip input, one member or several, or of a plain one, as
// zlib's gzread gives it: gzread needs a file of its own to open, which an
// input whose head was read already cannot give.
#pragma once

#include <zlib.h>

#include <memory>

#include "files/ovinput.h"

class Tinflater {
 public:
  explicit Tinflater(Tinput& input);
  ~Tinflater();
  Tinflater(const Tinflater&) = delete;
  Tinflater& operator=(const Tinflater&) = delete;

  // One piece of content: size bytes (0 at the end) and zlib's verdict. A
  // piece with a code other than Z_OK and Z_STREAM_END ends the content:
  // Z_ERRNO for a failed read (errno in error), Z_BUF_ERROR for a stream cut
  // short, Z_DATA_ERROR for damaged data.
  struct Tpiece {
    int size = 0;
    int code = Z_OK;
    int error = 0;
  };
  // Up to n bytes of content into into. Throws std::bad_alloc when zlib
  // cannot get its memory.
  Tpiece read(char* into, unsigned n);

 private:
  enum class Tmode { start, plain, gzip, end, failed };
  // Makes at least want unread input bytes available, fewer at the end; false
  // when reading fails.
  bool fill(unsigned want);
  bool memberFollows() const;
  Tpiece failWith(int code);

  Tinput& input;
  std::unique_ptr<Bytef[]> in;
  z_stream z{};
  Tmode mode = Tmode::start;
  bool inflating = false;  // z holds inflate's state
  int readErrno = 0;
  int failCode = Z_OK;
};
