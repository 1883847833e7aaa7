// A gzip stream whose first bytes are known only after the rest: the body is
// compressed as it is produced, and the head is put before it when writing.
// Saves holding a whole uncompressed sample-file body in memory.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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
  bool write(FILE* file, const std::string& head) const;

 private:
  bool run(int flush);

  z_stream z{};
  bool ready = false;
  uint64_t size = 0;
  uLong crc = crc32(0, nullptr, 0);
  std::vector<unsigned char> packed;
};
