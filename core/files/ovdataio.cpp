#include "files/ovdataio.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "decode/ovgroup.h"
#include "files/ovfilewriter.h"
#include "files/ovgzreader.h"
#include "files/ovgzstream.h"
#include "files/ovmemorybudget.h"
#include "files/ovrowutils.h"

namespace {

const char magic[] = "OVFMT01\n";
constexpr size_t magicSize = 8;
constexpr int maxLengthDigits = 12;
constexpr unsigned maxObjects = 4294967295u - 100;  // 2^32 - 101
constexpr unsigned chunkSize = 1u << 20;

// The "X:" count of a grouper's line, to size its children at once rather than
// one push at a time. Only a hint: a file may lie, so a large count is cut
// down to what small groupers need and longer lists grow as usual.
size_t childCountHint(std::string_view line) {
  constexpr size_t mostTrusted = 64;
  const size_t at = line.find(";X:");
  if (at == std::string_view::npos) return 0;
  size_t count = 0;
  for (size_t i = at + 3; i < line.size() && line[i] >= '0' && line[i] <= '9' && count <= mostTrusted; ++i)
    count = count * 10 + (line[i] - '0');
  return std::min(count, mostTrusted);
}

// What one loaded object holds on the heap, near enough for a budget: the
// object with its count (the largest class), its bytes, its place in its
// parent's list (twice, for the list's growth) and its display row.
size_t heldBytes(const Tbase& obj) {
  constexpr size_t objectBytes = std::max({sizeof(Tdata), sizeof(Ttransax), sizeof(Ttransfer)}) + 16;
  size_t bytes = objectBytes + 2 * sizeof(TobjPtr) + sizeof(TlinRow);
  if (obj.objType == otData) bytes += static_cast<const Tdata&>(obj).data.capacity();
  return bytes;
}

// Hands the body to flush in pieces of about chunkSize bytes; flush may keep
// them or consume and clear them.
template <typename Flush>
void bodyChunks(const Tcapture& capture, std::size_t from, std::size_t to, std::string& chunk, Flush flush) {
  for (std::size_t ix = from; ix < to; ++ix) {
    if (capture.rowSummary(ix).level != 0) continue;
    const TobjPtr obj = capture.row(ix).obj;
    if (!obj) continue;
    rowutils::appendObjText(*obj, chunk);
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

TdataIO::TdataIO() : memoryBudget(membudget::defaultBudget()) {}

void TdataIO::addToParent(std::shared_ptr<Tbase> obj) {
  const int level = obj->level;
  if (level >= 0 && static_cast<size_t>(level) < parentList.size())
    parentList[level]->push_back(std::move(obj));
}

void TdataIO::setParentList(TobjVec* list, int level) {
  // Index 0 stays the top-level list: no grouper's children may take its place.
  if (level <= 0) return;
  if (static_cast<size_t>(level) < parentList.size())
    parentList[level] = list;
  else
    parentList.push_back(list);
}

unsigned TdataIO::loadLinearFile(const std::string& path, Tcapture& capture) {
  Tinput input(path);
  return loadLinearFile(input, capture);
}

unsigned TdataIO::loadLinearFile(Tinput& input, Tcapture& capture) {
  capture.clear();
  try {
    TobjVec roots;
    const unsigned count = load(input, roots);
    if (count == 0) return 0;
    capture.reserveRows(count);  // one row per object read, short of dropped ones
    for (TobjPtr& root : roots) capture.appendRoot(std::move(root));
    return count;
  } catch (const std::bad_alloc&) {
    // What was built is released: a half-read file must not pass for a capture.
    error = "out of memory at line " + std::to_string(line);
    capture.clear();
    return 0;
  }
}

unsigned TdataIO::load(Tinput& input, TobjVec& objs) {
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

  // parentList may point into the children of dropped groupers: they are kept
  // until the load ends, and the list is cleared before they go.
  TobjVec dropped;
  struct TlistGuard {
    std::vector<TobjVec*>& list;
    ~TlistGuard() { list.clear(); }
  } guard{parentList};
  parentList.assign(1, &objs);
  unsigned count = 0;
  uint64_t held = 0;
  for (std::string_view text; count < maxObjects; ++line) {
    line += in.skipEmptyLines();  // a run of them costs its inflating and no more
    if (!in.nextLine(text)) break;
    std::shared_ptr<Tbase> obj;
    try {
      obj = rowutils::objFromText(text);
    } catch (const rowutils::TlevelError& e) {
      error = "line " + std::to_string(line) + ": level " + std::to_string(e.level) + " outside 0.." +
              std::to_string(rowutils::maxLevel);
      objs.clear();
      return 0;
    } catch (const std::logic_error&) {  // the reader's invalid_argument and out_of_range
      error = "line " + std::to_string(line) + ": malformed number";
      objs.clear();
      return 0;
    }
    if (!obj) continue;
    held += heldBytes(*obj);
    if (held > memoryBudget) throw std::bad_alloc();  // reported, with the line, as memory running out
    // Whether obj has a list is decided before its own children's list is
    // added: that one may land at obj's level, and a grouper inside itself
    // would never be freed.
    const bool attached = static_cast<size_t>(obj->level) < parentList.size();
    if (obj->objType >= otSofGroup && obj->objType <= otTransfer) {
      auto& children = static_cast<Tgrouper&>(*obj).children;
      children.reserve(childCountHint(text));
      setParentList(&children, obj->level + 1);
    }
    if (attached)
      addToParent(std::move(obj));
    else
      dropped.push_back(std::move(obj));
    ++count;
  }
  if (in.failed()) {
    error = in.failure(line);
    objs.clear();
    return 0;
  }
  return count;
}
