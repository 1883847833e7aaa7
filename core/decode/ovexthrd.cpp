#include "decode/ovexthrd.h"

#include <thread>

#include "decode/ovchain.h"

namespace {

template <class T>
std::shared_ptr<T> orNew(std::shared_ptr<T> p) {
  return p ? std::move(p) : std::make_shared<T>();
}

}  // namespace

TexThread::TexThread(std::shared_ptr<TeventVec> events, std::shared_ptr<TobjVec> objects,
                     std::shared_ptr<TobjVec> trees, std::shared_ptr<TrowVec> rows)
    : events(orNew(std::move(events))),
      objects(orNew(std::move(objects))),
      trees(orNew(std::move(trees))),
      rows(orNew(std::move(rows))) {}

bool TexThread::startDecode(const std::vector<uint8_t>* buffer) {
  return buffer ? startDecode(buffer->data(), buffer->size()) : startDecode(nullptr, 0);
}

bool TexThread::startDecode(const uint8_t* bytes, uint64_t size) {
  raw = bytes;
  rawSize = size;
  progress.store(0);
  done.store(false);
  failure = nullptr;
  std::thread worker(&TexThread::threadFunc, this);
  worker.join();
  return done.load();
}

void TexThread::threadFunc() {
  if (!raw || rawSize == 0) return;
  // An exception must not end the process (a huge buffer can exhaust memory):
  // it ends this decode, which then keeps the previous results.
  try {
    clearNext();
    TdecodeChain chain(next);
    chain.publishPosition(&progress);
    chain.takeRaw(raw, rawSize, true);

    skippedEvents = next.events->size() - next.objects->size();
    events->swap(*next.events);
    objects->swap(*next.objects);
    trees->swap(*next.trees);
    rows->swap(*next.rows);
    clearNext();  // frees the previous results but keeps the room for the next decode
    done.exchange(true);
  } catch (...) {
    failure = std::current_exception();
    clearNext();
  }
}

void TexThread::clearNext() {
  next.events->clear();
  next.objects->clear();
  next.trees->clear();
  next.rows->clear();
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
