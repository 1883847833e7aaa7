// Polling for a condition that another thread or process brings about.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Polls until done() or the limit; the final answer of done().
inline bool waitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
