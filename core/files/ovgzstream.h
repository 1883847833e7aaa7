// A gzip stream whose first bytes are known only after the rest: the body is
// compressed as it is produced, and the head is put before it when writing.
// Saves holding a whole uncompressed sample-file body in memory.
//
// Deflate is most of a save's time, so the body is compressed in blocks on
// worker threads while the caller formats the next one. Each block is primed
// with the 32 KiB before it and ends on a byte boundary, so the blocks form
// one deflate stream that any gzip reads, compressed about as well as in one
// piece.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <deque>
#include <future>
#include <string>
#include <vector>

#include "files/ovfilewriter.h"

class TgzStream {
 public:
  TgzStream();
  ~TgzStream();
  TgzStream(const TgzStream&) = delete;
  TgzStream& operator=(const TgzStream&) = delete;

  // Compresses more body bytes (zlib's default level); false on a zlib error.
  bool add(const char* data, size_t size);
  // Ends the body; false on a zlib error.
  bool finish();
  // Uncompressed body bytes so far.
  uint64_t bodySize() const { return size; }
  // Writes one gzip member: head (at most 65535 bytes, stored) then the body.
  bool write(TfileWriter& out, const std::string& head) const;

  // One compressed block with what the trailer needs of it.
  struct Tblock {
    std::vector<unsigned char> packed;
    uLong crc = 0;
    size_t size = 0;
    bool ok = false;
  };

 private:
  // Sends the pending bytes to a worker; at most `workers` blocks are in flight.
  void submit();
  // Appends the oldest block's output once it is done.
  void collect();

  size_t workers;
  std::string pending;
  std::string window;  // the last 32 KiB before pending
  std::deque<std::future<Tblock>> inFlight;
  bool ok = true;
  bool finished = false;
  uint64_t size = 0;
  uLong crc = crc32(0, nullptr, 0);
  std::vector<unsigned char> packed;
};
