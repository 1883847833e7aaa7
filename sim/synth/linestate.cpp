#include "synth/linestate.h"

namespace synth {

namespace {

// One state per tick from the sync through the last data bit.
std::vector<uint8_t> packetTicks(const Tbytes& bytes, const TpacketFaults& faults, TpacketWire& wire) {
  std::vector<uint8_t> ticks;
  ticks.reserve(12 + bytes.size() * 10);
  if (faults.brokenSync) ticks.push_back(lsK);
  static const uint8_t fullSync[] = {lsK, lsJ, lsK, lsJ, lsK, lsJ, lsK, lsK};
  for (int i = faults.shortSync ? 2 : 0; i < 8; ++i) ticks.push_back(fullSync[i]);
  const size_t syncEnd = ticks.size();

  // NRZI: a 0 bit toggles the line, a 1 keeps it. The stuffing count starts
  // after the sync, as the decoder counts it.
  uint8_t level = lsK;
  int ones = 0;
  bool violated = false;
  auto send = [&](int bit) {
    if (!bit) level = level == lsK ? lsJ : lsK;
    ticks.push_back(level);
  };
  for (uint8_t byte : bytes) {
    for (int b = 0; b < 8; ++b) {
      const int bit = (byte >> b) & 1;
      send(bit);
      ones = bit ? ones + 1 : 0;
      if (ones == 6) {
        const bool violate = faults.stuffViolation && !violated;
        send(violate ? 1 : 0);
        violated = violated || violate;
        ones = 0;
      }
    }
  }
  wire.faultsApplied = !faults.stuffViolation || violated;

  if (faults.se1AtBit >= 0) {
    size_t i = syncEnd + static_cast<size_t>(faults.se1AtBit);
    while (i < ticks.size() && ticks[i] != lsJ) ++i;
    if (i < ticks.size()) {
      ticks[i] = lsSe1;
      wire.se1Placed = true;
    } else {
      wire.faultsApplied = false;
    }
  }
  return ticks;
}

}  // namespace

TpacketWire appendPacket(TlineRuns& runs, const Tbytes& bytes, const TpacketFaults& faults) {
  TpacketWire wire;
  const std::vector<uint8_t> ticks = packetTicks(bytes, faults, wire);
  for (size_t i = 0, j; i < ticks.size(); i = j) {
    for (j = i + 1; j < ticks.size() && ticks[j] == ticks[i];) ++j;
    appendRun(runs, ticks[i], static_cast<uint32_t>(j - i));
  }
  appendRun(runs, lsSe0, 2);
  wire.ticks = static_cast<uint32_t>(ticks.size() + 2);
  return wire;
}

uint64_t runTicks(const TlineRuns& runs) {
  uint64_t total = 0;
  for (const TlineRun& run : runs) total += run.ticks;
  return total;
}

void truncateRuns(TlineRuns& runs, uint64_t ticks) {
  uint64_t time = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    if (time + runs[i].ticks >= ticks) {
      runs[i].ticks = static_cast<uint32_t>(ticks - time);
      runs.resize(runs[i].ticks ? i + 1 : i);
      return;
    }
    time += runs[i].ticks;
  }
}

}  // namespace synth
