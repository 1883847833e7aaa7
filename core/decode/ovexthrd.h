// The decode thread: raw capture bytes to bus events, packet objects, tree and
// display rows, run on a thread of its own so that others can watch progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "decode/ovbase.h"
#include "decode/ovcapture.h"

class TexThread {
 public:
  // The owner's capture is refilled in place by every decode, so readers
  // holding it see the latest results; a missing one is created here.
  explicit TexThread(std::shared_ptr<Tcapture> into = nullptr);
  TexThread(const TexThread&) = delete;
  TexThread& operator=(const TexThread&) = delete;

  // Decodes `raw` on a new thread and waits for it. Returns done: false for an
  // empty buffer or a failed decode (see failure), which both leave the
  // previous results untouched. One call at a time; other threads may watch
  // progress and done meanwhile.
  bool startDecode(const std::vector<uint8_t>* raw);
  // The same for size bytes at bytes, such as a capture thread's buffer.
  bool startDecode(const uint8_t* bytes, uint64_t size);
  void threadFunc();

  // Why the last decode failed (memory exhausted, say), or why it kept only
  // part of the capture (its store could not grow: a decode that is done all
  // the same); empty when neither.
  std::string failureText() const;

  std::shared_ptr<Tcapture> capture;
  const uint8_t* raw = nullptr;  // not owned
  uint64_t rawSize = 0;
  std::atomic<uint64_t> progress{0};  // bytes of raw read so far
  std::atomic<bool> done{false};      // raised once every result is complete
  // Bus events of the last decode that made no object: packets without bytes
  // or with a PID that makes none (PING, SPLIT, PRE, reserved). Set with done.
  uint64_t skippedEvents = 0;
  // What ended the last decode early, caught at the thread's edge; null after
  // a decode that ran to the end. Read it once startDecode has returned.
  std::exception_ptr failure;
  std::string stopped;  // why the last decode kept only part of the capture

 private:
  // A decode is built here and swapped in only when complete, so a failed one
  // keeps the previous results; the room is reused across decodes.
  Tcapture next;
};
