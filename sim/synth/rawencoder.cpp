#include "synth/rawencoder.h"

#include <algorithm>

namespace synth {

namespace {

const char magic[] = "ORLAVEX.";
// Run lengths travel as 32-bit signed counts in the reader; longer runs are cut.
constexpr uint64_t maxCount = 0x7FFFFFF0;

bool differential(uint8_t state) { return state == lsK || state == lsJ; }

}  // namespace

void appendCompactCount(uint32_t count, std::vector<uint8_t>& out) {
  // A 10xxxxxx byte adds six low bits and restarts the weight at 64; each
  // 110xxxxx byte adds five bits at the weight and moves it up by 64. Digits
  // above 31 need another pass, at most three passes in all.
  uint64_t left = count;
  while (left) {
    out.push_back(static_cast<uint8_t>(0x80 | (left & 63)));
    left -= left & 63;
    for (uint64_t weight = 64; left >= weight; weight *= 64) {
      const uint64_t take = std::min<uint64_t>((left / weight) & 63, 31);
      out.push_back(static_cast<uint8_t>(0xC0 | take));
      left -= take * weight;
    }
  }
}

TrawEncoder::TrawEncoder(const TrawOptions& options) : options_(options), rng_(options.seed) {}

void TrawEncoder::header(std::vector<uint8_t>& out) {
  if (headerDone_) return;
  headerDone_ = true;
  out.insert(out.end(), magic, magic + 8);
  for (unsigned i = 0; i < options_.fillerBytes; ++i) {
    out.push_back(options_.varied ? static_cast<uint8_t>(0x80 | pick(128)) : 0xFF);
  }
}

void TrawEncoder::push(uint8_t state, uint32_t ticks) {
  if (ticks == 0) return;
  if (head_ < pend_.size() && pend_.back().state == state) {
    pend_.back().left += ticks;  // held back, so never consumed yet
    return;
  }
  // Mirror how a decoder walks the runs, to know which runs it reads as a whole.
  bool splittable = false;
  switch (mode_) {
    case Tmode::outside:
      if (state == lsSe0) mode_ = Tmode::consumeNext;
      if (state == lsK) mode_ = Tmode::inPacket, splittable = true;
      break;
    case Tmode::inPacket:
      if (state == lsSe0) mode_ = Tmode::consumeNext;
      splittable = differential(state);
      break;
    case Tmode::consumeNext:
      mode_ = Tmode::outside;
      break;
  }
  pend_.push_back({state, ticks, splittable});
}

uint64_t TrawEncoder::pendingTicks(bool includeLast) const {
  uint64_t total = 0;
  const size_t end = includeLast ? pend_.size() : pend_.size() - 1;
  for (size_t i = head_; i < end && total < 6; ++i) total += pend_[i].left;
  return total;
}

void TrawEncoder::encode(const TlineRuns& runs, std::vector<uint8_t>& out) {
  header(out);
  for (const TlineRun& run : runs) push(run.state, run.ticks);
  while (emitItem(false, out)) {
  }
  if (head_ > 4096 && head_ * 2 > pend_.size()) {
    pend_.erase(pend_.begin(), pend_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
}

void TrawEncoder::finish(std::vector<uint8_t>& out) {
  header(out);
  const uint64_t total = pendingTicks(true);
  if (total > 0 && total < 3 && head_ < pend_.size()) pend_.back().left += 3 - total;
  while (emitItem(true, out)) {
  }
  pend_.clear();
  head_ = 0;
  mode_ = Tmode::outside;
  headerDone_ = false;
  anyItem_ = false;
}

bool TrawEncoder::emitItem(bool finishing, std::vector<uint8_t>& out) {
  if (head_ >= pend_.size()) return false;
  // Until finish, the last run may still grow, so no item may reach into it.
  const uint64_t ticks = pendingTicks(finishing);
  if (!finishing && ticks < 6) return false;
  if (ticks < 3) {
    // Only when finishing after a cut-short tail that the padding did not reach.
    const uint64_t total = pendingTicks(true);
    if (total == 0) return false;
    pend_.back().left += 3 - total;
  }

  bool six = ticks >= 6;
  for (size_t i = head_, seen = 0; six && seen < 6; ++i) {
    six = differential(pend_[i].state);
    seen += pend_[i].left;
  }
  const Tpending& first = pend_[head_];
  const bool marker = anyItem_ && first.state == lsSe0;

  int choice;  // 0 marker, 6 or 3 samples
  if (options_.varied) {
    int options[3];
    int n = 0;
    if (marker) options[n++] = 0;
    if (six) options[n++] = 6;
    options[n++] = 3;
    choice = options[pick(static_cast<uint64_t>(n))];
  } else {
    choice = marker && first.left >= 3 ? 0 : six ? 6 : 3;
  }
  anyItem_ = true;
  if (choice == 0) {
    emitMarker(out);
  } else {
    emitData(choice, finishing, out);
  }
  return true;
}

void TrawEncoder::emitMarker(std::vector<uint8_t>& out) {
  Tpending& run = pend_[head_];
  const uint64_t take = std::min(run.left, maxCount);
  // After an item only a 111xxxxx byte is read as a marker; its low bits do not count.
  out.push_back(static_cast<uint8_t>(0xE0 | (options_.varied ? pick(32) : 0)));
  appendCount(static_cast<uint32_t>(take), out);
  run.left -= take;
  if (run.left == 0) ++head_;
}

void TrawEncoder::emitData(int samples, bool finishing, std::vector<uint8_t>& out) {
  unsigned value = 0;
  for (int i = 0; i < samples - 1; ++i) {
    Tpending& run = pend_[head_];
    value = samples == 6 ? (value << 1) | (run.state == lsJ) : (value << 2) | run.state;
    if (--run.left == 0) ++head_;
  }
  Tpending& run = pend_[head_];
  value = samples == 6 ? (value << 1) | (run.state == lsJ) : (value << 2) | run.state;
  uint64_t take = run.left;
  const bool lastRun = head_ + 1 == pend_.size();
  if (options_.varied && run.splittable && take >= 2 && !(finishing && lastRun) && pick(3) == 0) {
    take = 1 + pick(take - 1);
  }
  take = std::min(take, maxCount + 1);
  out.push_back(static_cast<uint8_t>(samples == 6 ? value : 0x40 | value));
  appendCount(static_cast<uint32_t>(take - 1), out);
  run.left -= take;
  if (run.left == 0) ++head_;
}

void TrawEncoder::appendCount(uint32_t count, std::vector<uint8_t>& out) {
  if (!options_.varied) {
    appendCompactCount(count, out);
    return;
  }
  switch (pick(5)) {
    case 0:  // a lead 110xxxxx byte counts at weight 1
    {
      const uint32_t low = static_cast<uint32_t>(std::min<uint64_t>(count, pick(32)));
      out.push_back(static_cast<uint8_t>(0xC0 | low));
      appendCompactCount(count - low, out);
      break;
    }
    case 1:  // two separate sums
    {
      const uint32_t part = static_cast<uint32_t>(pick(uint64_t{count} + 1));
      appendCompactCount(part, out);
      appendCompactCount(count - part, out);
      break;
    }
    case 2:  // zero terms are still count bytes
      appendCompactCount(count, out);
      out.push_back(pick(2) ? 0x80 : 0xC0);
      break;
    default:
      appendCompactCount(count, out);
  }
}

std::vector<uint8_t> encodeRaw(const TlineRuns& runs, const TrawOptions& options) {
  TrawEncoder encoder(options);
  std::vector<uint8_t> out;
  encoder.encode(runs, out);
  encoder.finish(out);
  return out;
}

}  // namespace synth
