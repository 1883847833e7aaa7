#include "ovsetremembering.h"

#include "files/ovlua.h"

TsetRemembering::TsetRemembering(TdeviceStore store) : store(std::move(store)), worker([this] { work(); }) {}

TsetRemembering::~TsetRemembering() {
  {
    std::lock_guard<std::mutex> hold(lock);
    stopping = true;
    waiting.reset();
  }
  wake.notify_one();
  worker.join();
}

void TsetRemembering::remember(std::shared_ptr<const Tcapture> capture, std::string name) {
  {
    std::lock_guard<std::mutex> hold(lock);
    waiting = std::move(capture);
    waitingName = std::move(name);
  }
  wake.notify_one();
}

bool TsetRemembering::idle() const {
  std::lock_guard<std::mutex> hold(lock);
  return !waiting && !scanning;
}

std::string TsetRemembering::lastError() const {
  std::lock_guard<std::mutex> hold(lock);
  return error;
}

void TsetRemembering::work() {
  std::unique_lock<std::mutex> hold(lock);
  for (;;) {
    wake.wait(hold, [this] { return stopping || waiting; });
    if (stopping) return;
    const std::shared_ptr<const Tcapture> capture = std::move(waiting);
    const std::string name = waitingName;
    waiting.reset();
    scanning = true;
    hold.unlock();
    TluaState lua(capture);
    std::string problem;
    for (const TdeviceDescriptors& set : lua.capturedDevices())
      if (problem.empty() && !store.save(set, name)) problem = store.lastError();
    hold.lock();
    error = problem;
    scanning = false;
  }
}
