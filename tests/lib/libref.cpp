#include "libref.h"

#include <memory>

#include "boxes/ovboxes.h"
#include "decode/ovexthrd.h"
#include "files/ovdataio.h"
#include "files/ovrowutils.h"
#include "hardware/ovlothrd.h"

namespace {

TrefRows fromRows(const std::vector<TlinRow>& rows) {
  TrefRows ref;
  Tboxes boxes;
  for (const TlinRow& row : rows) {
    ref.texts.push_back(rowutils::objToString(row.obj));
    ref.boxes.push_back(boxes.getBoxesString(row.obj));
  }
  return ref;
}

const TmappedFile& captureBuffer(TsniffContext* ctx) { return static_cast<TloThread*>(loh(ctx))->buffer; }

}  // namespace

TrefRows refFromSample(const std::string& path) {
  auto trees = std::make_shared<TobjVec>();
  auto rows = std::make_shared<std::vector<TlinRow>>();
  TdataIO().loadLinearFile(path, trees, rows);
  return fromRows(*rows);
}

TrefRows refFromCapture(TsniffContext* ctx) {
  TexThread ex;
  ex.startDecode(captureBuffer(ctx).data(), captureBuffer(ctx).size());
  TrefRows ref = fromRows(*ex.rows);
  ref.decoded = ex.progress;
  return ref;
}

uint64_t refCaptureBytes(TsniffContext* ctx) { return captureBuffer(ctx).size(); }
