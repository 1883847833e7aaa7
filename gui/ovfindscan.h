// A search through every row of a capture on threads of their own, so that
// the window keeps painting while decode scripts run: from a given row on
// (or back from it), wrapping, handing over its matches in that order as it
// finds them. The threads run at a low priority: the window's comes first.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ovfindquery.h"

class TfindScan {
 public:
  // Looks at the rows after `from` first (before it, nearest first, when !forward), the
  // row `from` itself last. threads: 0 for one per processor.
  TfindScan(std::shared_ptr<const Tcapture> capture, TfindQuery query, std::size_t from, bool forward,
            unsigned threads = 0);
  // Stops the scan and waits for its threads.
  ~TfindScan();
  TfindScan(const TfindScan&) = delete;
  TfindScan& operator=(const TfindScan&) = delete;

  void cancel() { cancelled = true; }
  bool finished() const { return running.load(std::memory_order_acquire) == 0; }
  std::size_t rowsLookedAt() const { return looked.load(std::memory_order_relaxed); }
  std::size_t rowCount() const { return rows; }
  // The matches found since the last call, in the order looked at, appended to `into`.
  // (A cancelled scan may leave out some it looked at.)
  void takeFound(std::vector<int32_t>& into);

 private:
  void work(std::shared_ptr<const Tcapture> capture, const TfindQuery& query);
  // Chunks are settled in order, so that a match is handed over only after all before it.
  void chunkDone(std::size_t chunk, std::vector<int32_t> matches);

  std::size_t rows, start, chunkRows;
  bool forward;
  std::atomic<bool> cancelled{false};
  std::atomic<std::size_t> looked{0};
  std::atomic<std::size_t> nextChunk{0};
  std::atomic<unsigned> running{0};
  std::mutex lock;
  std::map<std::size_t, std::vector<int32_t>> waiting;  // chunks done before earlier ones
  std::size_t settled = 0;                              // chunks handed over
  std::vector<int32_t> found;                           // not yet taken
  std::vector<std::thread> workers;
};

// The matches of the last search, and stepping through those the filters show.
class TfindMatches {
 public:
  void clear();
  // Matches in any order, as a search finds them.
  void add(const std::vector<int32_t>& rows);
  std::size_t size() const { return all.size(); }

  // Which of the matches are shown; again whenever the filters change or matches are added.
  template <class Tvisible>
  void showOnly(Tvisible isVisible) {
    sort();
    shown.clear();
    for (int32_t row : all)
      if (isVisible(row)) shown.push_back(row);
  }
  // The shown match after `row` (before it), wrapping; -1 when there is none.
  int step(int row, bool forward) const;
  int shownCount() const { return static_cast<int>(shown.size()); }
  // "3 of 41" when row is a shown match, else "41 matches"; "No match" without any, and
  // how many the filters hide when they hide them all.
  std::string countText(int row) const;

 private:
  void sort();

  std::vector<int32_t> all;
  std::vector<int32_t> shown;  // ascending
  bool sorted = true;
};
