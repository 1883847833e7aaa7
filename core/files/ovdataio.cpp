#include "files/ovdataio.h"

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "decode/ovtree2lin.h"
#include "files/ovgzstream.h"
#include "files/ovrowutils.h"

namespace {

const char magic[] = "OVFMT01\n";
constexpr size_t magicSize = 8;
constexpr int maxLengthDigits = 12;
constexpr unsigned maxObjects = 4294967295u - 100;  // 2^32 - 101
constexpr unsigned chunkSize = 1u << 20;

struct TgzCloser {
  void operator()(gzFile_s* f) const { gzclose(f); }
};
using TgzFile = std::unique_ptr<gzFile_s, TgzCloser>;

// Buffered reading of a gzip (or plain) file, by byte or by line.
class TgzReader {
 public:
  explicit TgzReader(gzFile file) : file_(file), buf_(new char[chunkSize]) {}

  // Next byte, or -1 at the end.
  int get() {
    if (pos_ == end_ && !refill()) return -1;
    return static_cast<unsigned char>(buf_[pos_++]);
  }

  // Next line without its newline; false at the end. The view lives until the next call.
  bool nextLine(std::string_view& line) {
    carry_.clear();
    for (;;) {
      if (pos_ == end_ && !refill()) {
        line = carry_;
        return !carry_.empty();
      }
      const char* start = buf_.get() + pos_;
      const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - pos_));
      if (newline) {
        const size_t n = newline - start;
        pos_ += n + 1;
        if (carry_.empty()) {
          line = std::string_view(start, n);
        } else {
          carry_.append(start, n);
          line = carry_;
        }
        return true;
      }
      carry_.append(start, end_ - pos_);
      pos_ = end_;
    }
  }

  bool failed() const { return failed_; }
  // Why reading failed: the system's reason, or damaged compressed data.
  std::string failure() const {
    return readErrno_ ? std::string("cannot read file: ") + std::strerror(readErrno_)
                      : "damaged compressed data";
  }

 private:
  bool refill() {
    if (failed_) return false;
    const int n = gzread(file_, buf_.get(), chunkSize);
    int code = Z_OK;
    gzerror(file_, &code);
    // A truncated or damaged stream must not pass for a shorter capture.
    if (n < 0 || (code != Z_OK && code != Z_STREAM_END)) {
      failed_ = true;
      if (code == Z_ERRNO) readErrno_ = errno;
    }
    pos_ = 0;
    end_ = n > 0 && !failed_ ? static_cast<size_t>(n) : 0;
    return end_ > 0;
  }

  gzFile file_;
  std::unique_ptr<char[]> buf_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool failed_ = false;
  int readErrno_ = 0;
  std::string carry_;
};

}  // namespace

namespace {

// Hands the body to flush in pieces of about chunkSize bytes; flush may keep
// them or consume and clear them.
template <typename Flush>
void bodyChunks(const std::vector<TlinRow>& rows, std::string& chunk, Flush flush) {
  for (const TlinRow& row : rows) {
    if (!row.obj || row.obj->level != 0) continue;
    rowutils::appendObjText(*row.obj, chunk);
    if (chunk.size() >= chunkSize) flush(chunk);
  }
  flush(chunk);
}

}  // namespace

void TdataIO::appendBody(const std::vector<TlinRow>& rows, std::string& out) {
  bodyChunks(rows, out, [](std::string&) {});
}

int TdataIO::saveLinearToFile(const std::vector<TlinRow>& rows, const std::string& path) {
  error.clear();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = "cannot create file";
    return 0;
  }
  // The body is compressed as it is formatted; its length goes in front afterwards.
  TgzStream gz;
  bool ok = true;
  std::string chunk;
  chunk.reserve(chunkSize + 4096);
  bodyChunks(rows, chunk, [&](std::string& text) {
    ok = gz.add(text.data(), text.size()) && ok;
    text.clear();
  });
  ok = ok && gz.finish();
  ok = ok && gz.write(file, std::string(magic, magicSize) + std::to_string(gz.bodySize()) + "\n");
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    error = "write error";
    return 0;
  }
  return static_cast<int>(rows.size());
}

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

unsigned TdataIO::loadLinearFile(const std::string& path, std::shared_ptr<TobjVec> objs,
                                 std::shared_ptr<std::vector<TlinRow>> rows) {
  error.clear();
  line = 0;
  objs->clear();
  rows->clear();
  TgzFile file(gzopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open file";
    return 0;
  }
  TgzReader in(file.get());

  line = 1;
  for (size_t i = 0; i < magicSize; ++i) {
    const int c = in.get();
    if (c < 0) {
      error = in.failed() ? in.failure() : "not a sample file (too short)";
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
      error = in.failed() ? in.failure() : "not a sample file (bad length line)";
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
  parentList.assign(1, objs.get());
  unsigned count = 0;
  for (std::string_view text; count < maxObjects && in.nextLine(text); ++line) {
    std::shared_ptr<Tbase> obj;
    try {
      obj = rowutils::objFromText(text);
    } catch (const std::logic_error&) {  // the reader's invalid_argument and out_of_range
      error = "line " + std::to_string(line) + ": malformed number";
      objs->clear();
      return 0;
    }
    if (!obj) continue;
    // Whether obj has a list is decided before its own children's list is
    // added: that one may land at obj's level, and a grouper inside itself
    // would never be freed.
    const bool attached = obj->level >= 0 && static_cast<size_t>(obj->level) < parentList.size();
    // Any level past the end appends alike, so the largest level need not overflow.
    if (obj->objType >= otSofGroup && obj->objType <= otTransfer && obj->level >= 0)
      setParentList(&static_cast<Tgrouper&>(*obj).children, obj->level + (obj->level < INT32_MAX));
    if (attached)
      addToParent(std::move(obj));
    else
      dropped.push_back(std::move(obj));
    ++count;
  }
  if (in.failed()) {
    error = in.failure();
    objs->clear();
    return 0;
  }
  if (count != 0) {
    rows->reserve(count);  // one row per object read, short of dropped ones
    Ttree2lin(*objs, *rows);
  }
  return count;
}
