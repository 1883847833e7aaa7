#include "files/ovgzstream.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace {

constexpr size_t blockBytes = size_t{1} << 20;
constexpr size_t windowBytes = size_t{1} << 15;  // deflate's reach back

// An empty final block with fixed codes: ends the stream after sync-flushed blocks.
constexpr unsigned char lastBlock[] = {0x03, 0x00};

void putLE(std::vector<unsigned char>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

TgzStream::Tblock compressBlock(const std::string& input, const std::string& window) {
  TgzStream::Tblock block;
  block.size = input.size();
  block.crc = crc32_z(0, reinterpret_cast<const unsigned char*>(input.data()), input.size());
  z_stream z{};
  // Raw deflate: the gzip wrapper is written by hand around head and body.
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return block;
  bool ok = window.empty() || deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(window.data()),
                                                   static_cast<uInt>(window.size())) == Z_OK;
  // A sync flush ends the block on a byte boundary without ending the stream.
  block.packed.resize(deflateBound(&z, input.size()) + 16);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = block.packed.data();
  z.avail_out = static_cast<uInt>(block.packed.size());
  ok = ok && deflate(&z, Z_SYNC_FLUSH) == Z_OK && z.avail_in == 0 && z.avail_out != 0;
  block.packed.resize(block.packed.size() - z.avail_out);
  deflateEnd(&z);
  block.ok = ok;
  return block;
}

}  // namespace

TgzStream::TgzStream() : workers(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)) {
  pending.reserve(blockBytes);
}

// A future of std::async waits for its block when it goes.
TgzStream::~TgzStream() = default;

void TgzStream::submit() {
  if (pending.empty()) return;
  // The last windowBytes of window and pending together, without joining them.
  const std::size_t fromPending = std::min(pending.size(), windowBytes);
  const std::size_t fromWindow = std::min(window.size(), windowBytes - fromPending);
  std::string nextWindow = window.substr(window.size() - fromWindow);
  nextWindow.append(pending, pending.size() - fromPending, fromPending);
  try {
    inFlight.push_back(std::async(std::launch::async, compressBlock, std::move(pending), window));
  } catch (const std::system_error&) {
    // No thread to be had: compress here instead.
    inFlight.push_back(std::async(std::launch::deferred, compressBlock, std::move(pending), window));
  }
  window = std::move(nextWindow);
  pending.clear();
  pending.reserve(blockBytes);
  while (inFlight.size() > workers) collect();
}

void TgzStream::collect() {
  Tblock block = inFlight.front().get();
  inFlight.pop_front();
  ok = ok && block.ok;
  crc = crc32_combine(crc, block.crc, static_cast<z_off_t>(block.size));
  packed.insert(packed.end(), block.packed.begin(), block.packed.end());
}

bool TgzStream::add(const char* data, size_t n) {
  if (finished) return false;
  size += n;
  while (n > 0) {
    const size_t piece = std::min(n, blockBytes - pending.size());
    pending.append(data, piece);
    data += piece;
    n -= piece;
    if (pending.size() == blockBytes) submit();
  }
  return ok;
}

bool TgzStream::finish() {
  if (finished) return false;
  finished = true;
  submit();
  while (!inFlight.empty()) collect();
  packed.insert(packed.end(), std::begin(lastBlock), std::end(lastBlock));
  return ok;
}

bool TgzStream::write(TfileWriter& out, const std::string& head) const {
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
  return out.write(front.data(), front.size()) && out.write(packed.data(), packed.size()) &&
         out.write(back.data(), back.size());
}
