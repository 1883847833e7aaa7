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
  std::thread worker(&TexThread::threadFunc, this);
  worker.join();
  return done.load();
}

void TexThread::threadFunc() {
  if (!raw || raw->empty()) return;

  Traw reader;
  const bool headerOK = reader.useRawData(*raw);  // the owner keeps the buffer unchanged meanwhile

  events->clear();
  Traw2bin bin;
  uint64_t position = 0;
  while (bin.getNextBinEvent(reader, *events, position)) progress.store(position, std::memory_order_relaxed);

  objects->clear();
  if (headerOK) {
    objects->reserve(events->size());
    // Skipped events leave gaps, not an end: the result only says whether any were.
    Tbin2obj().buildObjVec(*events, *objects);
  }

  trees->clear();
  Tobj2tree(*objects, *trees);

  Ttree2lin(*trees, *rows);

  done.exchange(true);
}
