// Buffered reading of a gzip (or plain) input, by byte or by line. The next
// piece is decompressed on another thread while the caller works through the
// current one, so a load costs about its parsing time, not parsing plus inflate.
#pragma once

#include <cstddef>
#include <future>
#include <memory>
#include <string>
#include <string_view>

#include "files/ovinflate.h"

class TgzReader {
 public:
  // Lines longer than maxLine fail the read instead of taking all memory.
  TgzReader(Tinput& input, size_t maxLine);
  ~TgzReader();
  TgzReader(const TgzReader&) = delete;
  TgzReader& operator=(const TgzReader&) = delete;

  // Next byte, or -1 at the end.
  int get() {
    if (pos == end && !refill()) return -1;
    return static_cast<unsigned char>(buf[pos++]);
  }
  // Skips the empty lines at the reading position; returns how many.
  unsigned long skipEmptyLines();
  // Next line without its newline; false at the end. The view lives until the next call.
  bool nextLine(std::string_view& line);

  bool failed() const { return failedRead; }
  // Why reading failed: an overlong line, the system's reason, or damaged
  // compressed data; line is the file line being read.
  std::string failure(unsigned long line) const;

 private:
  bool refill();
  void readAhead();

  Tinflater source;
  size_t maxLine;
  std::unique_ptr<char[]> buf;
  std::unique_ptr<char[]> spare;  // filled by the piece in flight
  size_t pos = 0;
  size_t end = 0;
  bool failedRead = false;
  bool tooLong = false;
  int readErrno = 0;
  std::string carry;
  std::future<Tinflater::Tpiece> ahead;  // last member: waited for before the buffers go
};
