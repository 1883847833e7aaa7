#include "hardware/ovlivedecode.h"

#include <algorithm>
#include <utility>

namespace {

// A piece takes a few milliseconds to decode, so a poll keeps to its budget.
constexpr uint64_t pieceBytes = 256 * 1024;

}  // namespace

TliveDecode::TliveDecode(const TloThread& lo, std::shared_ptr<Tcapture> into)
    : lo(lo), out(std::move(into)), chain(*out) {}

bool TliveDecode::poll(std::chrono::milliseconds budget) {
  changedRow = out->rowCount();
  if (finished) return true;
  const auto deadline = std::chrono::steady_clock::now() + budget;
  // Ended first, then the count: a count read after the end is the last one.
  const bool ended = !lo.captureBusy();
  const uint64_t count = lo.captureCount.load(std::memory_order_acquire);
  do {
    const uint64_t piece = std::min(count, taken + pieceBytes);
    const bool last = ended && piece == count;
    if (piece == taken && !last) break;
    chain.takeRaw(lo.capturedBytes(), piece, last);
    changedRow = std::min(changedRow, chain.firstChangedRow());
    taken = piece;
    finished = last;
  } while (!finished && std::chrono::steady_clock::now() < deadline);
  return finished;
}
