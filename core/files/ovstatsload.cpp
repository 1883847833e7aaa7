#include "files/ovstatsload.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Roots handed to the counting thread at a time: a scan costs a little to set up.
constexpr std::size_t countBatch = 4096;

// Counts on a thread of its own the roots the load has completed, while the
// load reads on; one batch at a time.
class TcountingThread {
 public:
  explicit TcountingThread(TstatsCounter& counter) : counter(counter), thread([this] { run(); }) {}
  ~TcountingThread() {
    {
      std::lock_guard<std::mutex> hold(lock);
      stopping = true;
    }
    changed.notify_all();
    thread.join();
  }
  // Hands over the roots before `to` once the batch before is counted.
  void count(const Tcapture& capture, std::size_t to) {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return !busy; });
    loading = &capture;
    target = to;
    busy = true;
    changed.notify_all();
  }
  // Returns once nothing is being counted.
  void wait() {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return !busy; });
  }

 private:
  void run() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      changed.wait(hold, [this] { return busy || stopping; });
      if (!busy) return;
      hold.unlock();
      counter.countRoots(*loading, target);
      hold.lock();
      busy = false;
      changed.notify_all();
    }
  }

  TstatsCounter& counter;
  std::mutex lock;
  std::condition_variable changed;
  const Tcapture* loading = nullptr;
  std::size_t target = 0;
  bool busy = false;
  bool stopping = false;
  std::thread thread;  // last: it starts once the rest is set
};

}  // namespace

bool loadCounted(Tinput& input, Tcapture& capture, TdataIO& io, TcaptureStats& stats) {
  TstatsCounter counter;
  {
    TcountingThread counting(counter);
    std::size_t handed = 0;  // the roots handed to the thread
    io.onRootStart([&](const Tcapture& loading, bool ending) {
      if (ending) {
        counting.wait();
      } else if (loading.rootCount() >= handed + countBatch) {
        handed = loading.rootCount();
        counting.count(loading, handed);
      }
    });
    const bool loaded = io.loadLinearFile(input, capture) != 0 || io.lastError().empty();
    io.onRootStart(nullptr);
    if (!loaded) return false;
  }
  counter.countRoots(capture, capture.rootCount());
  stats = counter.finished();
  return true;
}
