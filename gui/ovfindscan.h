// A search through every row of a capture on a thread of its own, so that
// the window keeps painting while decode scripts run: from a given row on
// (or back from it), wrapping, handing over its matches as it finds them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ovfindquery.h"

class TfindScan {
 public:
  // Looks at the rows after `from` first (before it, nearest first, when !forward), the
  // row `from` itself last.
  TfindScan(std::shared_ptr<const Tcapture> capture, TfindQuery query, std::size_t from, bool forward);
  // Stops the scan and waits for its thread.
  ~TfindScan();
  TfindScan(const TfindScan&) = delete;
  TfindScan& operator=(const TfindScan&) = delete;

  void cancel() { cancelled = true; }
  bool finished() const { return done.load(std::memory_order_acquire); }
  std::size_t rowsLookedAt() const { return looked.load(std::memory_order_relaxed); }
  std::size_t rowCount() const { return rows; }
  // The matches found since the last call, in the order found, appended to `into`.
  void takeFound(std::vector<int32_t>& into);

 private:
  void run(std::shared_ptr<const Tcapture> capture, TfindQuery query, std::size_t from, bool forward);

  std::size_t rows;
  std::atomic<bool> cancelled{false};
  std::atomic<bool> done{false};
  std::atomic<std::size_t> looked{0};
  std::mutex lock;
  std::vector<int32_t> found;  // not yet taken
  std::thread thread;
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
  // "3 of 41" when row is a shown match, else "41 matches"; "No match" without any.
  std::string countText(int row) const;

 private:
  void sort();

  std::vector<int32_t> all;
  std::vector<int32_t> shown;  // ascending
  bool sorted = true;
};
