// Remembers the descriptor sets the captures shown hold, for later captures of
// the same devices, on a thread of its own: the scripts' scan of a long
// capture may take seconds, which the window must not wait for.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "decode/ovcapture.h"
#include "files/ovdevicestore.h"

class TsetRemembering {
 public:
  explicit TsetRemembering(TdeviceStore store = TdeviceStore());
  // Waits for the scan under way; one waiting is dropped.
  ~TsetRemembering();
  TsetRemembering(const TsetRemembering&) = delete;
  TsetRemembering& operator=(const TsetRemembering&) = delete;

  // Scans the capture once the scan under way ends, instead of any other waiting.
  // name: the capture as the remembered sets name it.
  void remember(std::shared_ptr<const Tcapture> capture, std::string name);
  // Whether nothing waits or is being scanned.
  bool idle() const;
  // Why the last set could not be written, empty when it could.
  std::string lastError() const;

 private:
  void work();

  TdeviceStore store;
  mutable std::mutex lock;
  std::condition_variable wake;
  std::shared_ptr<const Tcapture> waiting;
  std::string waitingName, error;
  bool scanning = false, stopping = false;
  std::thread worker;  // last, so that it starts once the rest is there
};
