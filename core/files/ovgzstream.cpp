#include "files/ovgzstream.h"

namespace {

void putLE(std::vector<unsigned char>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

}  // namespace

TgzStream::TgzStream() {
  // Raw deflate: the gzip wrapper is written by hand around head and body.
  ready = deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

TgzStream::~TgzStream() {
  if (ready) deflateEnd(&z);
}

bool TgzStream::run(int flush) {
  do {
    const size_t used = packed.size();
    packed.resize(used + (1 << 16));
    z.next_out = packed.data() + used;
    z.avail_out = 1 << 16;
    const int rc = deflate(&z, flush);
    packed.resize(packed.size() - z.avail_out);
    if (rc == Z_STREAM_ERROR) return false;
    if (rc == Z_STREAM_END) return true;
  } while (z.avail_out == 0 || (flush == Z_FINISH));
  return true;
}

bool TgzStream::add(const char* data, size_t n) {
  if (!ready) return false;
  crc = crc32_z(crc, reinterpret_cast<const unsigned char*>(data), n);
  size += n;
  z.next_in = reinterpret_cast<unsigned char*>(const_cast<char*>(data));
  while (n > 0) {
    const uInt piece = n > (1u << 30) ? (1u << 30) : static_cast<uInt>(n);
    z.avail_in = piece;
    if (!run(Z_NO_FLUSH)) return false;
    n -= piece;
  }
  return true;
}

bool TgzStream::finish() { return ready && run(Z_FINISH); }

bool TgzStream::write(FILE* file, const std::string& head) const {
  if (head.size() > 0xffff) return false;
  std::vector<unsigned char> front = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};  // gzip, no name, no time, Unix
  // The head as a stored, non-final deflate block; it ends on a byte boundary,
  // so the body's blocks can follow it unchanged.
  front.push_back(0);
  putLE(front, static_cast<uint32_t>(head.size()), 2);
  putLE(front, static_cast<uint32_t>(~head.size() & 0xffff), 2);
  front.insert(front.end(), head.begin(), head.end());
  std::vector<unsigned char> back;
  const uLong headCrc = crc32_z(0, reinterpret_cast<const unsigned char*>(head.data()), head.size());
  putLE(back, static_cast<uint32_t>(crc32_combine(headCrc, crc, static_cast<z_off_t>(size))), 4);
  putLE(back, static_cast<uint32_t>(head.size() + size), 4);  // length modulo 2^32
  return std::fwrite(front.data(), 1, front.size(), file) == front.size() &&
         std::fwrite(packed.data(), 1, packed.size(), file) == packed.size() &&
         std::fwrite(back.data(), 1, back.size(), file) == back.size();
}
