#include "libref.h"

#include <memory>
#include <string>
#include <vector>

#include "boxes/ovboxes.h"
#include "decode/ovexthrd.h"
#include "files/ovdataio.h"
#include "files/ovrowutils.h"
#include "hardware/ovlothrd.h"

struct TrefRows {
  std::vector<std::string> texts;
  std::vector<std::string> boxes;
  uint64_t decoded = 0;
};

namespace {

TrefRows* fromRows(const std::vector<TlinRow>& rows) {
  auto* ref = new TrefRows;
  Tboxes boxes;
  for (const TlinRow& row : rows) {
    ref->texts.push_back(rowutils::objToString(row.obj));
    ref->boxes.push_back(boxes.getBoxesString(row.obj));
  }
  return ref;
}

}  // namespace

extern "C" {

TrefRows* refFromSample(const char* path) {
  auto trees = std::make_shared<TobjVec>();
  auto rows = std::make_shared<std::vector<TlinRow>>();
  TdataIO().loadLinearFile(path, trees, rows);
  return fromRows(*rows);
}

TrefRows* refFromCapture(void* loThread) {
  TexThread ex;
  ex.startDecode(&static_cast<TloThread*>(loThread)->buffer);
  TrefRows* ref = fromRows(*ex.rows);
  ref->decoded = ex.progress;
  return ref;
}

uint64_t refCaptureBytes(void* loThread) { return static_cast<TloThread*>(loThread)->buffer.size(); }

uint32_t refCount(const TrefRows* ref) { return static_cast<uint32_t>(ref->texts.size()); }

uint64_t refDecoded(const TrefRows* ref) { return ref->decoded; }

const char* refText(const TrefRows* ref, uint32_t ix) {
  return ix < ref->texts.size() ? ref->texts[ix].c_str() : nullptr;
}

const char* refBoxes(const TrefRows* ref, uint32_t ix) {
  return ix < ref->boxes.size() ? ref->boxes[ix].c_str() : nullptr;
}

void refFree(TrefRows* ref) { delete ref; }

}  // extern "C"
