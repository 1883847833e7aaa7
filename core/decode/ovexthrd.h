// The decode thread: raw capture bytes to bus events, packet objects, tree and
// display rows, run on a thread of its own so that others can watch progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/ovbase.h"

class TexThread {
 public:
  using TeventVec = std::vector<TeventBin>;
  using TrowVec = std::vector<TlinRow>;

  // The owner's result vectors are refilled in place by every decode, so
  // readers holding these pointers see the latest results; a missing one is
  // created here.
  TexThread(std::shared_ptr<TeventVec> events = nullptr, std::shared_ptr<TobjVec> objects = nullptr,
            std::shared_ptr<TobjVec> trees = nullptr, std::shared_ptr<TrowVec> rows = nullptr);
  TexThread(const TexThread&) = delete;
  TexThread& operator=(const TexThread&) = delete;

  // Decodes `raw` on a new thread and waits for it. Returns done: false for an
  // empty buffer, which leaves the previous results untouched. One call at a
  // time; other threads may watch progress and done meanwhile.
  bool startDecode(const std::vector<uint8_t>* raw);
  void threadFunc();

  std::shared_ptr<TeventVec> events;
  std::shared_ptr<TobjVec> objects;
  std::shared_ptr<TobjVec> trees;
  std::shared_ptr<TrowVec> rows;
  const std::vector<uint8_t>* raw = nullptr;  // not owned
  std::atomic<uint64_t> progress{0};          // bytes of raw read so far
  std::atomic<bool> done{false};              // raised once every result is complete
};
