#include "decode/ovexthrd.h"

#include <thread>

#include "decode/ovchain.h"

TexThread::TexThread(std::shared_ptr<Tcapture> into)
    : capture(into ? std::move(into) : std::make_shared<Tcapture>()) {}

bool TexThread::startDecode(const std::vector<uint8_t>* buffer) {
  raw = buffer;
  progress.store(0);
  done.store(false);
  failure = nullptr;
  std::thread worker(&TexThread::threadFunc, this);
  worker.join();
  return done.load();
}

void TexThread::threadFunc() {
  if (!raw || raw->empty()) return;
  // An exception must not end the process (a huge buffer can exhaust memory):
  // it ends this decode, which then keeps the previous results.
  try {
    next.clear();
    TdecodeChain chain(next);
    chain.publishPosition(&progress);
    chain.takeRaw(raw->data(), raw->size(), true);

    skippedEvents = next.eventCount() - next.busObjectCount();
    capture->swap(next);
    next.clear();  // frees the previous results but keeps the room for the next decode
    done.exchange(true);
  } catch (...) {
    failure = std::current_exception();
    next.clear();
  }
}

std::string TexThread::failureText() const {
  if (!failure) return "";
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
