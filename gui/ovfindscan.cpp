#include "ovfindscan.h"

#include <algorithm>
#include <string>

#include "ovstatustext.h"

TfindScan::TfindScan(std::shared_ptr<const Tcapture> capture, TfindQuery query, std::size_t from,
                     bool forward)
    : rows(capture->rowCount()) {
  thread = std::thread(&TfindScan::run, this, std::move(capture), std::move(query), from, forward);
}

TfindScan::~TfindScan() {
  cancel();
  thread.join();
}

void TfindScan::run(std::shared_ptr<const Tcapture> capture, TfindQuery query, std::size_t from,
                    bool forward) {
  TrowMatcher matcher(std::move(capture), std::move(query));
  std::vector<int32_t> batch;
  bool handedAny = false;
  const std::size_t start = rows == 0 ? 0 : std::min(from, rows - 1);
  for (std::size_t n = 1; n <= rows && !cancelled; n++) {
    const std::size_t row = forward ? (start + n) % rows : (start + rows - n % rows) % rows;
    if (matcher.matches(row)) batch.push_back(static_cast<int32_t>(row));
    // The first match is awaited; the rest go over in batches.
    if (!(n % 1024 == 0 || n == rows || (!handedAny && !batch.empty()))) continue;
    if (!batch.empty()) {
      std::lock_guard<std::mutex> hold(lock);
      found.insert(found.end(), batch.begin(), batch.end());
      batch.clear();
      handedAny = true;
    }
    looked.store(n, std::memory_order_relaxed);
  }
  done.store(true, std::memory_order_release);
}

void TfindScan::takeFound(std::vector<int32_t>& into) {
  std::lock_guard<std::mutex> hold(lock);
  into.insert(into.end(), found.begin(), found.end());
  found.clear();
}

void TfindMatches::clear() {
  all.clear();
  shown.clear();
  sorted = true;
}

void TfindMatches::add(const std::vector<int32_t>& rows) {
  all.insert(all.end(), rows.begin(), rows.end());
  sorted = sorted && rows.empty();
}

void TfindMatches::sort() {
  if (!sorted) std::sort(all.begin(), all.end());
  sorted = true;
}

int TfindMatches::step(int row, bool forward) const {
  if (shown.empty()) return -1;
  if (forward) {
    const auto it = std::upper_bound(shown.begin(), shown.end(), row);
    return it == shown.end() ? shown.front() : *it;
  }
  const auto it = std::lower_bound(shown.begin(), shown.end(), row);
  return it == shown.begin() ? shown.back() : *(it - 1);
}

std::string TfindMatches::countText(int row) const {
  if (shown.empty()) return "No match";
  const auto it = std::lower_bound(shown.begin(), shown.end(), row);
  const std::string total = groupedDigits(shown.size());
  if (it != shown.end() && *it == row) return groupedDigits(it - shown.begin() + 1) + " of " + total;
  return total + (shown.size() == 1 ? " match" : " matches");
}
