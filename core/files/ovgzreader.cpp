#include "files/ovgzreader.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace {

constexpr unsigned pieceBytes = 1u << 20;

Tinflater::Tpiece readPiece(Tinflater* source, char* into) { return source->read(into, pieceBytes); }

}  // namespace

TgzReader::TgzReader(Tinput& input, size_t maxLine)
    : source(input), maxLine(maxLine), buf(new char[pieceBytes]), spare(new char[pieceBytes]) {
  readAhead();
}

TgzReader::~TgzReader() {
  if (ahead.valid()) ahead.wait();
}

void TgzReader::readAhead() {
  try {
    ahead = std::async(std::launch::async, readPiece, &source, spare.get());
  } catch (const std::system_error&) {
    // No thread to be had: read when the piece is needed.
    ahead = std::async(std::launch::deferred, readPiece, &source, spare.get());
  }
}

bool TgzReader::refill() {
  pos = end = 0;
  if (failedRead || !ahead.valid()) return false;
  const Tinflater::Tpiece piece = ahead.get();
  // A truncated or damaged stream must not pass for a shorter capture.
  if (piece.size < 0 || (piece.code != Z_OK && piece.code != Z_STREAM_END)) {
    failedRead = true;
    readErrno = piece.error;
    return false;
  }
  if (piece.size == 0) return false;
  std::swap(buf, spare);
  end = static_cast<size_t>(piece.size);
  readAhead();
  return true;
}

unsigned long TgzReader::skipEmptyLines() {
  constexpr uint64_t eightNewlines = 0x0A0A0A0A0A0A0A0Aull;
  unsigned long skipped = 0;
  for (;;) {
    if (pos == end && !refill()) return skipped;
    const size_t from = pos;
    // Eight at a time: a file of nothing but newlines skips at memory speed.
    for (uint64_t word; end - pos >= 8 && (std::memcpy(&word, buf.get() + pos, 8), word == eightNewlines);)
      pos += 8;
    while (pos < end && buf[pos] == '\n') ++pos;
    skipped += pos - from;
    if (pos < end) return skipped;
  }
}

bool TgzReader::nextLine(std::string_view& line) {
  carry.clear();
  for (;;) {
    if (pos == end && !refill()) {
      line = carry;
      return !carry.empty() && !failedRead;
    }
    const char* start = buf.get() + pos;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end - pos));
    const size_t n = newline ? newline - start : end - pos;
    if (carry.size() + n > maxLine) {
      tooLong = failedRead = true;
      return false;
    }
    if (newline && carry.empty()) {
      pos += n + 1;
      line = std::string_view(start, n);
      return true;
    }
    carry.append(start, n);
    pos += n + (newline ? 1 : 0);
    if (newline) {
      line = carry;
      return true;
    }
  }
}

std::string TgzReader::failure(unsigned long line) const {
  if (tooLong) return "line " + std::to_string(line) + ": longer than " + std::to_string(maxLine) + " bytes";
  return readErrno ? std::string("cannot read file: ") + std::strerror(readErrno) : "damaged compressed data";
}
