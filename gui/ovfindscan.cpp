#include "ovfindscan.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>

#include "ovstatustext.h"

namespace {

// Rows a thread takes at a time: a decode script's row costs far more than a row's boxes.
constexpr std::size_t boxChunkRows = 4096, decodeChunkRows = 128;

void lowerThreadPriority() { setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10); }

}  // namespace

TfindScan::TfindScan(std::shared_ptr<const Tcapture> capture, TfindQuery query, std::size_t from,
                     bool forward, unsigned threads)
    : rows(capture->rowCount()),
      start(rows == 0 ? 0 : std::min(from, rows - 1)),
      chunkRows(query.inDecode ? decodeChunkRows : boxChunkRows),
      forward(forward) {
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  running = threads;
  for (unsigned t = 0; t < threads; t++) workers.emplace_back(&TfindScan::work, this, capture, query);
}

TfindScan::~TfindScan() {
  cancel();
  for (std::thread& worker : workers) worker.join();
  // The threads' heaps hold the blocks they freed, in pieces; the thread that takes one
  // over next (a decode) would pay for them.
  malloc_trim(0);
}

void TfindScan::work(std::shared_ptr<const Tcapture> capture, const TfindQuery& query) {
  lowerThreadPriority();
  TrowMatcher matcher(std::move(capture), query);
  // Progress goes out at every row a script decodes, in batches for boxes.
  const std::size_t progressRows = query.inDecode ? 1 : 256;
  for (std::size_t chunk = nextChunk++; chunk * chunkRows < rows && !cancelled; chunk = nextChunk++) {
    std::vector<int32_t> matches;
    const std::size_t first = chunk * chunkRows + 1, end = std::min(rows + 1, first + chunkRows);
    std::size_t unreported = 0;
    // The n-th row looked at, counted from 1: `start` itself is the last one. The matcher
    // reads rows fastest in row order, so a backward chunk is read from its end, and its
    // matches are turned round.
    for (std::size_t i = first; i < end && !cancelled; i++) {
      const std::size_t n = forward ? i : first + end - 1 - i;
      const std::size_t row = forward ? (start + n) % rows : (start + rows - n % rows) % rows;
      if (matcher.matches(row)) matches.push_back(static_cast<int32_t>(row));
      if (++unreported == progressRows) looked += std::exchange(unreported, 0);
    }
    looked += unreported;
    if (!forward) std::reverse(matches.begin(), matches.end());
    chunkDone(chunk, std::move(matches));
  }
  running.fetch_sub(1, std::memory_order_release);
}

void TfindScan::chunkDone(std::size_t chunk, std::vector<int32_t> matches) {
  std::lock_guard<std::mutex> hold(lock);
  waiting[chunk] = std::move(matches);
  for (auto next = waiting.find(settled); next != waiting.end(); next = waiting.find(++settled)) {
    found.insert(found.end(), next->second.begin(), next->second.end());
    waiting.erase(next);
  }
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
  if (shown.empty() && !all.empty()) return "No match shown: the filters hide " + groupedDigits(all.size());
  if (shown.empty()) return "No match";
  const auto it = std::lower_bound(shown.begin(), shown.end(), row);
  const std::string total = groupedDigits(shown.size());
  if (it != shown.end() && *it == row) return groupedDigits(it - shown.begin() + 1) + " of " + total;
  return total + (shown.size() == 1 ? " match" : " matches");
}
