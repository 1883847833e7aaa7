#include "reference.h"

#include <cstring>

namespace {

void pushRun(std::vector<TrefRun>& runs, int state, uint64_t ticks, bool merge) {
  if (merge && !runs.empty() && runs.back().state == state) {
    runs.back().ticks += ticks;
  } else {
    runs.push_back({state, ticks});
  }
}

void appendLe32(std::vector<uint8_t>& bytes, uint64_t v) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

bool refDecodeRaw(const std::vector<uint8_t>& s, std::vector<TrefRun>& runs) {
  if (s.size() <= 8 || std::memcmp(s.data(), "ORLAVEX.", 8) != 0) return false;
  size_t i = 8;
  while (i < s.size() && s[i] >= 0x80) ++i;
  if (i == s.size()) return false;
  while (i < s.size()) {
    const uint8_t item = s[i++];
    uint32_t total = 0, weight = 1;
    for (; i < s.size(); ++i) {
      if ((s[i] & 0xC0) == 0x80) {
        total += s[i] & 63;
        weight = 64;
      } else if ((s[i] & 0xE0) == 0xC0) {
        total += (s[i] & 31) * weight;
        weight *= 64;
      } else {
        break;
      }
    }
    if (item >= 0x80) {
      runs.push_back({0, total});
      continue;
    }
    const int samples = item < 0x40 ? 6 : 3;
    const size_t first = runs.size();
    for (int k = samples - 1; k >= 0; --k) {
      const int state = samples == 6 ? ((item >> k) & 1 ? 2 : 1) : (item >> (2 * k)) & 3;
      pushRun(runs, state, k == 0 ? uint64_t{total} + 1 : 1, runs.size() > first);
    }
  }
  return true;
}

std::vector<TrefRun> refMerge(const std::vector<TrefRun>& runs) {
  std::vector<TrefRun> out;
  for (const TrefRun& run : runs) {
    if (run.ticks) pushRun(out, run.state, run.ticks, true);
  }
  return out;
}

std::vector<TeventBin> refDecodeBus(const std::vector<TrefRun>& runs) {
  std::vector<TeventBin> events;
  uint64_t time = 0;
  size_t i = 0;
  auto next = [&](TrefRun& run, uint64_t& start) {
    if (i == runs.size()) return false;
    run = runs[i++];
    start = time;
    time += run.ticks;
    return true;
  };
  TrefRun run;
  uint64_t start;
  while (next(run, start)) {
    TeventBin event;
    event.time = start;
    TrefRun after;
    uint64_t afterStart;
    if (run.state == 0) {
      event.kind = 3;
      event.bytes.push_back(0x10);
      appendLe32(event.bytes, run.ticks);
      if (!next(after, afterStart)) break;
      appendLe32(event.bytes, after.ticks);
      events.push_back(event);
      continue;
    }
    if (run.state != 1) continue;
    std::vector<int> ticks(run.ticks, 1);
    bool ended = false;
    while (next(run, start)) {
      if (run.state == 0) {
        ended = true;
        break;
      }
      if (run.state == 3) {
        ticks.push_back(2);
        event.flags = 0x10;
      } else {
        ticks.insert(ticks.end(), run.ticks, run.state);
      }
    }
    if (!ended || !next(after, afterStart)) break;
    event.kind = 1;
    size_t from = 0;
    if (ticks.size() >= 8 && ticks[0] == 1 && ticks[1] == 2 && ticks[2] == 1 && ticks[3] == 2 &&
        ticks[4] == 1) {
      if (ticks[5] == 1) from = 6;
      if (ticks[5] == 2 && ticks[6] == 1 && ticks[7] == 1) from = 8;
    }
    if (from) {
      int prev = 0, ones = 0, nbits = 0;
      unsigned byte = 0;
      bool skip = false;
      for (size_t t = from; t < ticks.size(); ++t) {
        const int level = ticks[t] == 2 ? 1 : 0;
        const int bit = level == prev;
        prev = level;
        if (skip) {
          skip = false;
          continue;
        }
        byte |= bit << nbits;
        if (++nbits == 8) {
          event.bytes.push_back(static_cast<uint8_t>(byte));
          byte = 0;
          nbits = 0;
        }
        ones = bit ? ones + 1 : 0;
        if (ones == 6) {
          skip = true;
          ones = 0;
        }
      }
      if (!event.bytes.empty()) {
        const uint8_t p = event.bytes[0];
        if ((((~p & 0xFF) >> 4) ^ p) & 15) event.flags |= 0x04;
        static const bool legal[16] = {false, true, true, true, false, true, false, false,
                                       false, true, true, true, false, true, true,  false};
        if (!legal[p & 15]) event.flags |= 0x08;
      }
    }
    appendLe32(event.bytes, after.ticks);
    events.push_back(event);
  }
  return events;
}
