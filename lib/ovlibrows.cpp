// Decoded rows as text, and sample files in place of a capture.
#include <memory>

#include "boxes/ovboxes.h"
#include "files/ovcapturefile.h"
#include "files/ovdataio.h"
#include "files/ovrowutils.h"
#include "ovlibtext.h"
#include "ovsniffctx.h"
#include "twrcore.h"

using libtext::guarded;

namespace {

// sampleFileRead may swap the list while a reader runs; each call holds the
// list it started with.
std::shared_ptr<TexThread::TrowVec> currentRows(TsniffContext* ctx) {
  return std::atomic_load(&ctx->ex.rows);
}

// Whether ix is a row; obj then holds its object (which may be null) for the
// rest of the caller's work.
bool rowAt(TsniffContext* ctx, uint32_t ix, TobjPtr& obj) {
  const std::shared_ptr<TexThread::TrowVec> rows = ctx ? currentRows(ctx) : nullptr;
  if (!rows || ix >= rows->size()) return false;
  obj = (*rows)[ix].obj;
  return true;
}

}  // namespace

extern "C" {

uint32_t getPacketDataRowCount(TsniffContext* ctx) {
  const std::shared_ptr<TexThread::TrowVec> rows = ctx ? currentRows(ctx) : nullptr;
  return rows ? static_cast<uint32_t>(rows->size()) : 0;
}

void* linix2rowptr(TsniffContext* ctx, uint32_t ix) {
  TobjPtr obj;
  return rowAt(ctx, ix, obj) ? obj.get() : nullptr;
}

uint32_t getPacketDataRow(TsniffContext* ctx, uint32_t ix, char* buf, uint32_t size) {
  if (!buf || size == 0) return 0;
  buf[0] = 0;
  TobjPtr obj;
  if (!rowAt(ctx, ix, obj)) return 0;
  return guarded<uint32_t>(0, [&] { return libtext::copyOut(rowutils::objToString(obj), buf, size); });
}

const char* getPacketDataRowX(TsniffContext* ctx, uint32_t ix) {
  TobjPtr obj;
  if (!rowAt(ctx, ix, obj)) return nullptr;
  return guarded<const char*>(nullptr, [&] { return libtext::toShared(rowutils::objToString(obj)); });
}

const char* getBoxStrX(TsniffContext* ctx, uint32_t ix) {
  TobjPtr obj;
  if (!rowAt(ctx, ix, obj) || !obj) return nullptr;
  return guarded<const char*>(nullptr, [&] { return libtext::toShared(Tboxes().getBoxesString(obj)); });
}

uint32_t sampleFileRead(TsniffContext* ctx, const char* fileName) {
  if (!ctx || !fileName) return 0;
  return guarded<uint32_t>(0, [&] {
    Tcapture capture;
    Tinput input(fileName);
    if (TcaptureFile::kindOf(input) == TcaptureFile::Tkind::pcap)
      TcaptureFile().loadPcap(input, capture);
    else
      TdataIO().loadLinearFile(input, capture.trees, capture.rows);
    if (capture.rows->empty()) return uint32_t(0);
    std::atomic_store(&ctx->ex.trees, capture.trees);
    std::atomic_store(&ctx->ex.rows, capture.rows);
    return static_cast<uint32_t>(capture.rows->size());
  });
}

}  // extern "C"
