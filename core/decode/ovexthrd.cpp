#include "decode/ovexthrd.h"

#include <algorithm>
#include <thread>

#include "decode/ovchain.h"

namespace {

constexpr size_t piece = size_t{256} << 10;

}  // namespace

TexThread::TexThread(std::shared_ptr<Tcapture> into)
    : capture(into ? std::move(into) : std::make_shared<Tcapture>()) {}

bool TexThread::startDecode(const std::vector<uint8_t>* buffer) {
  return buffer ? startDecode(buffer->data(), buffer->size()) : startDecode(nullptr, 0);
}

bool TexThread::startDecode(const uint8_t* bytes, uint64_t size) {
  raw = bytes;
  rawSize = size;
  progress.store(0);
  done.store(false);
  failure = nullptr;
  stopped.clear();
  std::thread worker(&TexThread::threadFunc, this);
  worker.join();
  return done.load();
}

void TexThread::threadFunc() {
  if (!raw || rawSize == 0) return;
  // An exception must not end the process (a huge buffer can exhaust memory):
  // it ends this decode, which then keeps the previous results.
  try {
    next.clear();
    TdecodeChain chain(next);
    chain.publishPosition(&progress);
    // Fed in pieces, so that only a piece's objects are in memory at a time.
    for (size_t available = 0; available < rawSize && chain.failure().empty();) {
      available = std::min(rawSize, available + piece);
      chain.takeRaw(raw, available, available == rawSize);
    }
    stopped = chain.failure().empty()
                  ? ""
                  : "decoding stopped early, the capture's store is full: " + chain.failure();

    skippedEvents = next.eventCount() - next.busObjectCount();
    capture->swap(next);
    next.clear();  // the previous results go, their files with them
    done.exchange(true);
  } catch (...) {
    failure = std::current_exception();
    // A fresh store takes memory too: without it the half decode stays until the next one.
    try {
      next.clear();
    } catch (const std::bad_alloc&) {
    }
  }
}

std::string TexThread::failureText() const {
  if (!failure) return stopped;
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}
