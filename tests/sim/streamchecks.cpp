#include "streamchecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "decode/ovraw.h"
#include "decode/ovraw2bin.h"

namespace {

void pushRun(std::vector<TrefRun>& runs, int state, uint64_t ticks, bool merge) {
  if (merge && !runs.empty() && runs.back().state == state) {
    runs.back().ticks += ticks;
  } else {
    runs.push_back({state, ticks});
  }
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

std::vector<TeventBin> decodeEvents(const std::vector<uint8_t>& stream, size_t firstAppend) {
  const auto split = stream.begin() + static_cast<std::ptrdiff_t>(std::min(firstAppend, stream.size()));
  Traw raw;
  raw.addRawData(std::vector<uint8_t>(stream.begin(), split));
  EXPECT_TRUE(raw.addRawData(std::vector<uint8_t>(split, stream.end())));
  Traw2bin bin;
  std::vector<TeventBin> events;
  bin.buildBinVec(raw, events);
  return events;
}

void expectSameEvents(const std::vector<TeventBin>& got, const std::vector<TeventBin>& want,
                      const std::string& what) {
  for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
    ASSERT_EQ(got[i].kind, want[i].kind) << what << " event " << i;
    ASSERT_EQ(got[i].time, want[i].time) << what << " event " << i;
    ASSERT_EQ(got[i].flags, want[i].flags) << what << " event " << i;
    ASSERT_EQ(got[i].bytes, want[i].bytes) << what << " event " << i << " at " << want[i].time;
  }
  ASSERT_EQ(got.size(), want.size()) << what;
}
