// Context life, capture control and decoding.
#include <chrono>
#include <new>
#include <thread>

#include "ovlibtext.h"
#include "ovsniffctx.h"
#include "twrcore.h"

using libtext::guarded;

extern "C" {

TsniffContext* sniffInit(void) {
  TsniffContext* ctx = guarded<TsniffContext*>(nullptr, [] { return new TsniffContext; });
  // Callers rely on the bring-up having had a head start.
  if (ctx) std::this_thread::sleep_for(std::chrono::seconds(2));
  return ctx;
}

void sniffEnd(TsniffContext* ctx) {
  if (!ctx) return;
  // A capture that never fills must not hold the caller up.
  ctx->lo.withdrawRequest();
  ctx->lo.stop = true;
  ctx->forgetHandedOut();
  ctx->ex.capture.reset();
  delete ctx;
}

void* loh(TsniffContext* ctx) { return ctx ? &ctx->lo : nullptr; }

void* exh(TsniffContext* ctx) { return ctx ? &ctx->ex : nullptr; }

bool setConnect(TsniffContext* ctx, int connect) {
  return ctx && ctx->lo.low.setTargetConnected(connect != 0);
}

bool setNeeded(TsniffContext* ctx, uint32_t bytes) {
  if (!ctx || ctx->lo.captureBusy()) return false;
  if (TloThread::bufferBytes(bytes) - TloThread::headBytes > TloThread::largestCaptureForThisMachine())
    return false;
  ctx->needed = bytes;
  return true;
}

bool setRun(TsniffContext* ctx, int value) {
  if (!ctx) return false;
  if (value == 0) {
    ctx->lo.withdrawRequest();
    return false;
  }
  return guarded(false, [&] { return ctx->lo.requestCapture(ctx->needed) == TloThread::Trequest::accepted; });
}

bool setStop(TsniffContext* ctx, int value) {
  if (!ctx) return false;
  ctx->lo.stop = value != 0;
  return value != 0;
}

int getRun(TsniffContext* ctx) { return ctx && ctx->lo.run ? 1 : 0; }

int getStop(TsniffContext* ctx) { return ctx && ctx->lo.stop ? 1 : 0; }

int getCaptureDone(TsniffContext* ctx) { return ctx && ctx->lo.captureDone ? 1 : 0; }

int getHardwareChanged(TsniffContext* ctx) { return ctx && ctx->lo.hardwareChanged.exchange(false) ? 1 : 0; }

int getHardwareStatus(TsniffContext* ctx) {
  return ctx ? ctx->lo.hardwareStatus.load() : TWR_STATUS_NOT_FOUND;
}

uint64_t getCaptureCount(TsniffContext* ctx) { return ctx ? ctx->lo.captureCount.load() : 0; }

bool startDecode(TsniffContext* ctx) {
  if (!ctx || ctx->lo.captureBusy()) return false;
  return guarded(false, [&] {
    const bool decoded = ctx->ex.startDecode(&ctx->lo.takeCapture());
    if (decoded) ctx->forgetHandedOut();
    return decoded;
  });
}

int getDecodeDone(TsniffContext* ctx) { return ctx && ctx->ex.done ? 1 : 0; }

uint64_t getDecodedCount(TsniffContext* ctx) { return ctx ? ctx->ex.progress.load() : 0; }

}  // extern "C"
