#include "synth/linestate.h"

namespace synth {

namespace {

// Replaces the first J tick at or after tick `from` of the packet runs by an
// SE1 of the given length.
bool placeSe1(TlineRuns& packet, uint64_t from, uint32_t ticks) {
  uint64_t start = 0;
  for (size_t i = 0; i < packet.size(); start += packet[i++].ticks) {
    const uint64_t end = start + packet[i].ticks;
    if (packet[i].state != lsJ || end <= from) continue;
    const uint32_t before = static_cast<uint32_t>(from > start ? from - start : 0);
    const uint32_t after = packet[i].ticks - before - 1;
    TlineRuns split;
    if (before) split.push_back({lsJ, before});
    split.push_back({lsSe1, ticks});
    if (after) split.push_back({lsJ, after});
    packet.erase(packet.begin() + static_cast<std::ptrdiff_t>(i));
    packet.insert(packet.begin() + static_cast<std::ptrdiff_t>(i), split.begin(), split.end());
    return true;
  }
  return false;
}

}  // namespace

TpacketWire appendPacket(TlineRuns& runs, const Tbytes& bytes, const TpacketFaults& faults) {
  TpacketWire wire;
  TlineRuns packet;
  packet.reserve(8 + bytes.size() * 8);
  // Sync K J K J K J K K; the last K stays open for the data bits.
  const int pairs = faults.shortSync ? 2 : 3;
  for (int i = 0; i < pairs; ++i) {
    packet.push_back({lsK, i == 0 && faults.brokenSync ? 2u : 1u});
    packet.push_back({lsJ, 1});
  }
  TlineRun current{lsK, 2};
  const uint64_t syncTicks = 2 * pairs + 2 + faults.brokenSync;

  // NRZI: a 0 bit toggles the line, a 1 keeps it. The stuffing count starts
  // after the sync, as the decoder counts it.
  int ones = 0;
  bool violated = false;
  auto send = [&](int bit) {
    if (bit) {
      ++current.ticks;
    } else {
      packet.push_back(current);
      current = {current.state == lsK ? lsJ : lsK, 1};
    }
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
  packet.push_back(current);
  wire.faultsApplied = !faults.stuffViolation || violated;
  if (faults.se1AtBit >= 0) {
    wire.se1Placed = placeSe1(packet, syncTicks + static_cast<uint64_t>(faults.se1AtBit), faults.se1Ticks);
    wire.faultsApplied = wire.faultsApplied && wire.se1Placed;
  }

  packet.push_back({lsSe0, 2});
  for (const TlineRun& run : packet) {
    appendRun(runs, run.state, run.ticks);
    wire.ticks += run.ticks;
  }
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
