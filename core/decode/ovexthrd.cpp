#include "decode/ovexthrd.h"

#include <thread>

#include "decode/ovbin2obj.h"
#include "decode/ovobj2tree.h"
#include "decode/ovraw.h"
#include "decode/ovraw2bin.h"
#include "decode/ovtree2lin.h"

namespace {

template <class T>
std::shared_ptr<T> orNew(std::shared_ptr<T> p) {
  return p ? std::move(p) : std::make_shared<T>();
}

// The results of a decode may be kept for long: a stage's output is left with
// little spare room, whatever its estimate was.
template <class V>
void trimSlack(V& v) {
  if (v.capacity() - v.size() > v.size() / 3) v.shrink_to_fit();
}

// The stages of the chain, each filling `out` from the product of the one before.

// Empty when the stream's header is bad. Publishes the read position after
// every event.
void rawToEvents(const std::vector<uint8_t>& raw, std::atomic<uint64_t>& progress,
                 TexThread::TeventVec& out) {
  Traw reader;
  reader.useRawData(raw);  // the owner keeps the buffer unchanged meanwhile
  // Busy traffic takes about 40 raw bytes per event; quieter traffic takes
  // more, and the room it leaves goes when the stage ends.
  out.reserve(raw.size() / 32 + 1);
  Traw2bin bin;
  uint64_t position = 0;
  while (bin.getNextBinEvent(reader, out, position)) progress.store(position, std::memory_order_relaxed);
  trimSlack(out);
}

// Events that cannot be converted are skipped, not an end: one object per
// event that made one.
void eventsToObjects(const TexThread::TeventVec& events, TobjVec& out) {
  out.reserve(events.size());
  Tbin2obj().buildObjVec(events, out);
  trimSlack(out);
}

void objectsToTree(const TobjVec& objects, TobjVec& out) {
  Tobj2tree(objects, out);
  trimSlack(out);
}

void treeToRows(const TobjVec& roots, TexThread::TrowVec& out) { Ttree2lin(roots, out); }

}  // namespace

TexThread::TexThread(std::shared_ptr<TeventVec> events, std::shared_ptr<TobjVec> objects,
                     std::shared_ptr<TobjVec> trees, std::shared_ptr<TrowVec> rows)
    : events(orNew(std::move(events))),
      objects(orNew(std::move(objects))),
      trees(orNew(std::move(trees))),
      rows(orNew(std::move(rows))) {}

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
    rawToEvents(*raw, progress, next.events);
    eventsToObjects(next.events, next.objects);
    objectsToTree(next.objects, next.trees);
    treeToRows(next.trees, next.rows);

    skippedEvents = next.events.size() - next.objects.size();
    events->swap(next.events);
    objects->swap(next.objects);
    trees->swap(next.trees);
    rows->swap(next.rows);
    next.clear();  // frees the previous results but keeps the room for the next decode
    done.exchange(true);
  } catch (...) {
    failure = std::current_exception();
    next.clear();
  }
}

void TexThread::Tresults::clear() {
  events.clear();
  objects.clear();
  trees.clear();
  rows.clear();
}

std::string TexThread::failureText() const {
  if (!failure) return "";
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}
