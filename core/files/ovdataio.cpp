#include "files/ovdataio.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "decode/ovgroup.h"
#include "decode/ovtree2lin.h"
#include "files/ovfilewriter.h"
#include "files/ovgzreader.h"
#include "files/ovgzstream.h"
#include "files/ovrowutils.h"

namespace {

const char magic[] = "OVFMT01\n";
constexpr size_t magicSize = 8;
constexpr int maxLengthDigits = 12;
constexpr unsigned maxObjects = 4294967295u - 100;  // 2^32 - 101
constexpr unsigned chunkSize = 1u << 20;

// Hands the body to flush in pieces of about chunkSize bytes; flush may keep
// them or consume and clear them.
template <typename Flush>
void bodyChunks(const Tcapture& capture, std::size_t from, std::size_t to, std::string& chunk, Flush flush) {
  TrowScan scan = capture.rowScan();
  for (std::size_t ix = from; ix < to; ++ix) {
    if (capture.rowLevel(ix) != 0) continue;
    scan.eachInSubtree(
        ix, [&](const Tbase& obj, std::size_t children) { rowutils::appendLineText(obj, children, chunk); });
    if (chunk.size() >= chunkSize) flush(chunk);
  }
  flush(chunk);
}

// The whole sample file; false when anything failed.
bool writeSampleFile(const Tcapture& capture, TfileWriter& out) {
  // The body is compressed as it is formatted; its length goes in front afterwards.
  TgzStream gz;
  bool ok = true;
  std::string chunk;
  chunk.reserve(chunkSize + 4096);
  bodyChunks(capture, 0, capture.rowCount(), chunk, [&](std::string& text) {
    ok = gz.add(text.data(), text.size()) && ok;
    text.clear();
  });
  ok = ok && gz.finish();
  return ok && gz.write(out, std::string(magic, magicSize) + std::to_string(gz.bodySize()) + "\n");
}

}  // namespace

void TdataIO::appendBody(const Tcapture& capture, std::string& out) {
  bodyChunks(capture, 0, capture.rowCount(), out, [](std::string&) {});
}

void TdataIO::streamBody(const Tcapture& capture, std::size_t from, std::size_t to,
                         const std::function<void(std::string_view)>& put) {
  std::string chunk;
  chunk.reserve(chunkSize + 4096);
  bodyChunks(capture, from, to, chunk, [&](std::string& text) {
    put(text);
    text.clear();
  });
}

int TdataIO::saveLinearToFile(const Tcapture& capture, const std::string& path) {
  error.clear();
  TfileWriter out;
  if (!out.open(path)) {
    error = out.lastError();
    return 0;
  }
  bool ok = false;
  try {
    ok = writeSampleFile(capture, out) && out.commit();
  } catch (const std::bad_alloc&) {
  }
  if (!ok) {
    // A failure that is not the file's is for want of memory, zlib's included.
    error = out.lastError().empty() ? std::string("write error: ") + std::strerror(ENOMEM) : out.lastError();
    return 0;
  }
  return static_cast<int>(capture.rowCount());
}

TdataIO::TdataIO() = default;

unsigned TdataIO::loadLinearFile(const std::string& path, Tcapture& capture) {
  Tinput input(path);
  return loadLinearFile(input, capture);
}

unsigned TdataIO::loadLinearFile(Tinput& input, Tcapture& capture) {
  capture.clear();
  try {
    const unsigned count = load(input, capture);
    if (rootStart) rootStart(capture, true);
    // What was built is released: a half-read file must not pass for a capture.
    if (!error.empty()) capture.clear();
    return error.empty() ? count : 0;
  } catch (const std::bad_alloc&) {
    error = "out of memory at line " + std::to_string(line);
    if (rootStart) rootStart(capture, true);
    capture.clear();
    return 0;
  }
}

bool TdataIO::place(Tcapture& capture, const TobjPtr& obj) {
  const auto level = static_cast<size_t>(obj->level);
  // An object whose level has no grouper to join is read and dropped.
  const Tparent into = level < parents.size() ? parents[level] : Tparent{};
  Tparent children;
  if (into.shown) {
    const size_t at = level == 0 ? capture.rowCount() : into.end;
    if (!capture.placeRow(obj, at, static_cast<int>(into.row), into.inherited)) return false;
    // The groupers that hold the new row end a row later; those after it move down.
    for (size_t l = 1; l < parents.size(); ++l) {
      Tparent& p = parents[l];
      if (!p.shown) continue;
      if (p.row >= static_cast<int64_t>(at)) {
        ++p.row;
        ++p.end;
      } else if (level > 0 && p.row <= into.row && p.end >= into.end) {
        ++p.end;
      }
    }
    children = Tparent{true, static_cast<int64_t>(at), at + 1, Ttree2lin::childFlags(*obj, into.inherited)};
  }
  if (obj->objType < otSofGroup || obj->objType > otTransfer) return true;
  // The next objects one level deeper join this grouper, shown or not.
  if (level + 1 < parents.size())
    parents[level + 1] = children;
  else
    parents.push_back(children);
  return true;
}

unsigned TdataIO::load(Tinput& input, Tcapture& capture) {
  error.clear();
  line = 0;
  if (!input.error().empty()) {
    error = input.error();
    return 0;
  }
  TgzReader in(input, maxLineLength);

  line = 1;
  for (size_t i = 0; i < magicSize; ++i) {
    const int c = in.get();
    if (c < 0) {
      error = in.failed() ? in.failure(line) : "not a sample file (too short)";
      return 0;
    }
    if (c == '\n') ++line;
  }
  for (int digits = 0; digits < maxLengthDigits; ++digits) {
    const int c = in.get();
    if (c == '\n') {
      ++line;
      break;
    }
    if (c < '0' || c > '9') {
      error = in.failed() ? in.failure(line) : "not a sample file (bad length line)";
      return 0;
    }
  }

  parents.assign(1, Tparent{true, -1, 0, 0});
  unsigned count = 0;
  for (std::string_view text; count < maxObjects; ++line) {
    line += in.skipEmptyLines();  // a run of them costs its inflating and no more
    if (!in.nextLine(text)) break;
    std::shared_ptr<Tbase> obj;
    try {
      obj = rowutils::objFromText(text);
    } catch (const rowutils::TlevelError& e) {
      error = "line " + std::to_string(line) + ": level " + std::to_string(e.level) + " outside 0.." +
              std::to_string(rowutils::maxLevel);
      return 0;
    } catch (const std::logic_error&) {  // the reader's invalid_argument and out_of_range
      error = "line " + std::to_string(line) + ": malformed number";
      return 0;
    }
    if (!obj) continue;
    if (obj->level == 0 && rootStart) rootStart(capture, false);
    if (!place(capture, obj)) {
      error = "line " + std::to_string(line) + ": " + capture.storeError();
      return 0;
    }
    ++count;
  }
  if (in.failed()) {
    error = in.failure(line);
    return 0;
  }
  return count;
}
