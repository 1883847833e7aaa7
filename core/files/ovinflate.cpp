#include "files/ovinflate.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr unsigned inBytes = 1u << 16;

}  // namespace

Tinflater::Tinflater(Tinput& input) : input(input), in(new Bytef[inBytes]) { z.next_in = in.get(); }

Tinflater::~Tinflater() {
  if (inflating) inflateEnd(&z);
}

bool Tinflater::fill(unsigned want) {
  if (z.avail_in >= want) return true;
  std::memmove(in.get(), z.next_in, z.avail_in);
  z.next_in = in.get();
  while (z.avail_in < want) {
    const ssize_t n = input.read(in.get() + z.avail_in, inBytes - z.avail_in);
    if (n < 0) {
      readErrno = errno;
      return false;
    }
    if (n == 0) break;
    z.avail_in += static_cast<uInt>(n);
  }
  return true;
}

bool Tinflater::memberFollows() const {
  return z.avail_in >= 2 && z.next_in[0] == 0x1f && z.next_in[1] == 0x8b;
}

Tinflater::Tpiece Tinflater::failWith(int code) {
  mode = Tmode::failed;
  failCode = code;
  Tpiece piece;
  piece.code = code;
  piece.error = readErrno;
  return piece;
}

Tinflater::Tpiece Tinflater::read(char* into, unsigned n) {
  Tpiece piece;
  if (mode == Tmode::start) {
    if (!fill(2)) return failWith(Z_ERRNO);
    mode = memberFollows() ? Tmode::gzip : Tmode::plain;
    if (mode == Tmode::gzip) {
      if (inflateInit2(&z, 15 + 16) != Z_OK) throw std::bad_alloc();  // 16: gzip wrapper only
      inflating = true;
    }
  }
  switch (mode) {
    case Tmode::failed:
      piece.code = failCode;
      piece.error = readErrno;
      return piece;
    case Tmode::plain:
      if (!fill(1)) return failWith(Z_ERRNO);
      piece.size = static_cast<int>(std::min(n, z.avail_in));
      std::memcpy(into, z.next_in, static_cast<size_t>(piece.size));
      z.next_in += piece.size;
      z.avail_in -= static_cast<uInt>(piece.size);
      return piece;
    default:
      break;
  }
  z.next_out = reinterpret_cast<Bytef*>(into);
  z.avail_out = n;
  while (mode == Tmode::gzip && z.avail_out > 0) {
    if (!fill(1)) return failWith(Z_ERRNO);
    if (z.avail_in == 0) return failWith(Z_BUF_ERROR);  // the input ends inside a member
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
    if (rc == Z_STREAM_END) {
      // Another member may follow; anything else after a member is ignored, as gzread does.
      if (!fill(2)) return failWith(Z_ERRNO);
      if (memberFollows())
        inflateReset(&z);
      else
        mode = Tmode::end;
    } else if (rc != Z_OK) {
      return failWith(Z_DATA_ERROR);
    }
  }
  piece.size = static_cast<int>(n - z.avail_out);
  return piece;
}
