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

// The stages of the chain, each taking the product of the one before.

// Empty when the stream's header is bad. Publishes the read position after
// every event.
TexThread::TeventVec rawToEvents(const std::vector<uint8_t>& raw, std::atomic<uint64_t>& progress) {
  Traw reader;
  reader.useRawData(raw);  // the owner keeps the buffer unchanged meanwhile
  TexThread::TeventVec events;
  // Busy traffic takes about 40 raw bytes per event: room for more than twice
  // that spares the growth copies, the pages never reached are never touched,
  // and the slack goes when the stage ends.
  events.reserve(raw.size() / 16 + 1);
  Traw2bin bin;
  uint64_t position = 0;
  while (bin.getNextBinEvent(reader, events, position)) progress.store(position, std::memory_order_relaxed);
  events.shrink_to_fit();
  return events;
}

// Events that cannot be converted are skipped, not an end: one object per
// event that made one.
TobjVec eventsToObjects(const TexThread::TeventVec& events) {
  TobjVec objects;
  objects.reserve(events.size());
  Tbin2obj().buildObjVec(events, objects);
  objects.shrink_to_fit();
  return objects;
}

TobjVec objectsToTree(const TobjVec& objects) {
  TobjVec roots;
  Tobj2tree(objects, roots);
  roots.shrink_to_fit();
  return roots;
}

TexThread::TrowVec treeToRows(const TobjVec& roots) {
  TexThread::TrowVec rows;
  Ttree2lin(roots, rows);
  return rows;
}

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
    TeventVec newEvents = rawToEvents(*raw, progress);
    TobjVec newObjects = eventsToObjects(newEvents);
    TobjVec newTrees = objectsToTree(newObjects);
    TrowVec newRows = treeToRows(newTrees);

    skippedEvents = newEvents.size() - newObjects.size();
    events->swap(newEvents);
    objects->swap(newObjects);
    trees->swap(newTrees);
    rows->swap(newRows);
    done.exchange(true);
  } catch (...) {
    failure = std::current_exception();
  }
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
