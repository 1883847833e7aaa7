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

// sampleFileRead may swap the capture while a reader runs; each call holds
// the capture it started with.
std::shared_ptr<Tcapture> currentCapture(TsniffContext* ctx) { return std::atomic_load(&ctx->ex.capture); }

// Whether ix is a row; obj then holds its object (which may be null) for the
// rest of the caller's work.
bool rowAt(TsniffContext* ctx, uint32_t ix, TobjPtr& obj) {
  const std::shared_ptr<Tcapture> capture = ctx ? currentCapture(ctx) : nullptr;
  if (!capture || ix >= capture->rowCount()) return false;
  obj = capture->row(ix).obj;
  return true;
}

}  // namespace

void* TsniffContext::handOut(uint32_t ix) {
  const std::lock_guard<std::mutex> hold(handedLock);
  const auto kept = handedOut.find(ix);
  if (kept != handedOut.end()) return kept->second.get();
  TobjPtr obj;
  if (!rowAt(this, ix, obj)) return nullptr;
  return handedOut.emplace(ix, std::move(obj)).first->second.get();
}

void TsniffContext::forgetHandedOut() {
  const std::lock_guard<std::mutex> hold(handedLock);
  handedOut.clear();
}

extern "C" {

uint32_t getPacketDataRowCount(TsniffContext* ctx) {
  const std::shared_ptr<Tcapture> capture = ctx ? currentCapture(ctx) : nullptr;
  return capture ? static_cast<uint32_t>(capture->rowCount()) : 0;
}

void* linix2rowptr(TsniffContext* ctx, uint32_t ix) {
  return ctx ? guarded<void*>(nullptr, [&] { return ctx->handOut(ix); }) : nullptr;
}

uint32_t getPacketDataRow(TsniffContext* ctx, uint32_t ix, char* buf, uint32_t size) {
  if (!buf || size == 0) return 0;
  buf[0] = 0;
  // A row's object is made when asked, which takes memory.
  return guarded<uint32_t>(0, [&] {
    TobjPtr obj;
    return rowAt(ctx, ix, obj) ? libtext::copyOut(rowutils::objToString(obj), buf, size) : 0;
  });
}

const char* getPacketDataRowX(TsniffContext* ctx, uint32_t ix) {
  return guarded<const char*>(nullptr, [&]() -> const char* {
    TobjPtr obj;
    return rowAt(ctx, ix, obj) ? libtext::toShared(rowutils::objToString(obj)) : nullptr;
  });
}

const char* getBoxStrX(TsniffContext* ctx, uint32_t ix) {
  return guarded<const char*>(nullptr, [&]() -> const char* {
    TobjPtr obj;
    return rowAt(ctx, ix, obj) && obj ? libtext::toShared(Tboxes().getBoxesString(obj)) : nullptr;
  });
}

uint32_t sampleFileRead(TsniffContext* ctx, const char* fileName) {
  if (!ctx || !fileName) return 0;
  return guarded<uint32_t>(0, [&] {
    auto capture = std::make_shared<Tcapture>();
    Tinput input(fileName);
    if (TcaptureFile::kindOf(input) == TcaptureFile::Tkind::pcap)
      TcaptureFile().loadPcap(input, *capture);
    else
      TdataIO().loadLinearFile(input, *capture);
    const auto rows = static_cast<uint32_t>(capture->rowCount());
    if (rows == 0) return uint32_t(0);
    std::atomic_store(&ctx->ex.capture, std::move(capture));
    ctx->forgetHandedOut();
    return rows;
  });
}

}  // extern "C"
