#include "libref.h"

#include <memory>

#include "boxes/ovboxes.h"
#include "decode/ovexthrd.h"
#include "files/ovdataio.h"
#include "files/ovrowutils.h"
#include "hardware/ovlothrd.h"

namespace {

TrefRows fromRows(const Tcapture& rows) {
  TrefRows ref;
  Tboxes boxes;
  for (size_t ix = 0; ix < rows.rowCount(); ++ix) {
    const TobjPtr obj = rows.row(ix).obj;
    ref.texts.push_back(rowutils::objToString(obj));
    ref.boxes.push_back(boxes.getBoxesString(obj));
  }
  return ref;
}

const std::vector<uint8_t>& captureBuffer(TsniffContext* ctx) {
  return static_cast<TloThread*>(loh(ctx))->buffer;
}

}  // namespace

TrefRows refFromSample(const std::string& path) {
  Tcapture capture;
  TdataIO().loadLinearFile(path, capture);
  return fromRows(capture);
}

TrefRows refFromCapture(TsniffContext* ctx) {
  TexThread ex;
  ex.startDecode(&captureBuffer(ctx));
  TrefRows ref = fromRows(*ex.capture);
  ref.decoded = ex.progress;
  return ref;
}

uint64_t refCaptureBytes(TsniffContext* ctx) { return captureBuffer(ctx).size(); }
