// Synthetic traffic through the whole bus-level path: runs, raw stream, reader
// and bus decoder must give back every recorded event.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "decode/ovraw.h"
#include "decode/ovraw2bin.h"
#include "synth/host.h"
#include "synth/rawencoder.h"
#include "synth/requests.h"

using namespace synth;

namespace {

// Bus events through the core's reader and bus decoder; the stream is added in
// two appends, the first firstAppend bytes long.
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

// Reports the first difference only, with enough context to replay it.
void expectSameEvents(const std::vector<TeventBin>& got, const std::vector<TeventBin>& want,
                      const std::string& what) {
  for (size_t i = 0; i < std::min(got.size(), want.size()); ++i)
    ASSERT_EQ(std::tie(got[i].kind, got[i].time, got[i].flags, got[i].bytes),
              std::tie(want[i].kind, want[i].time, want[i].flags, want[i].bytes))
        << what << " event " << i;
  ASSERT_EQ(got.size(), want.size()) << what;
}

Tbytes payload(std::mt19937_64& rng, size_t max) {
  Tbytes p(rng() % (max + 1));
  for (uint8_t& b : p) b = static_cast<uint8_t>(rng() % 4 ? rng() : 0xFF);
  return p;
}

// Realistic traffic with the occasional spoilt packet and reset.
TlineRuns randomTraffic(std::mt19937_64& rng, TbusWriter& bus, int transactions) {
  TusbHost host(bus, rng());
  bus.setFrame(static_cast<unsigned>(rng() % 2048));
  if (rng() % 2) bus.reset(static_cast<uint32_t>(1 + rng() % 150000));
  TlineRuns runs;
  for (int n = 0; n < transactions; ++n) {
    const unsigned addr = rng() % 128, endp = rng() % 16;
    const Treply reply = static_cast<Treply>(rng() % 4);
    switch (rng() % 10) {
      case 0:
        host.setup(addr, 0, payload(rng, 8), reply);
        break;
      case 1:
        host.in(addr, endp, pidData1, payload(rng, 64), reply);
        break;
      case 2:
        host.out(addr, endp, pidData0, payload(rng, 64), reply);
        break;
      case 3:
        host.controlRead(addr, 8u << (rng() % 4), getDescriptor(dtConfiguration, 0, 0, 255),
                         payload(rng, 90));
        break;
      case 4:
        host.controlWrite(addr, 8, setupRequest(0x21, 9, 0x200, 0, 30), payload(rng, 30));
        break;
      case 5:
        host.bulkIn(addr, endp, 64, payload(rng, 300), static_cast<unsigned>(rng() % 3));
        break;
      case 6:
        host.bulkOut(addr, endp, 64, payload(rng, 300));
        break;
      case 7:
        bus.reset(static_cast<uint32_t>(1 + rng() % 200000));
        break;
      case 8: {
        Tbytes p = rng() % 2 ? dataPacket(static_cast<unsigned>(rng() % 16), payload(rng, 20))
                             : tokenPacket(static_cast<unsigned>(rng() % 16), addr, endp);
        if (rng() % 3 == 0) breakCrc(p);
        if (rng() % 3 == 0) breakPidCheck(p);
        TpacketFaults f;
        f.shortSync = rng() % 4 == 0;
        f.brokenSync = rng() % 5 == 0;
        f.se1AtBit = rng() % 3 ? -1 : static_cast<int>(rng() % 40);
        f.se1Ticks = static_cast<uint32_t>(1 + (rng() % 2 ? rng() % 3 : rng() % 5000));
        f.stuffViolation = rng() % 3 == 0;
        bus.idle(rng() % 50);
        bus.packet(p, f);
        break;
      }
      default:
        bus.idle(rng() % 30000);
    }
    if (rng() % 3 == 0) {
      const TlineRuns part = bus.takeRuns();
      runs.insert(runs.end(), part.begin(), part.end());
    }
  }
  bus.finish();
  const TlineRuns part = bus.takeRuns();
  runs.insert(runs.end(), part.begin(), part.end());
  return runs;
}

}  // namespace

TEST(RoundTrip, RandomTrafficThroughReaderAndBusDecoder) {
  std::mt19937_64 rng(2024);
  for (int round = 0; round < 60; ++round) {
    const std::string what = "round " + std::to_string(round);
    TbusWriter bus;
    const TlineRuns runs = randomTraffic(rng, bus, 80);
    const std::vector<TeventBin> expected = bus.takeEvents();
    TrawOptions options;
    options.varied = round % 3 != 0;
    options.seed = rng();
    options.fillerBytes = static_cast<unsigned>(rng() % 5);
    const std::vector<uint8_t> stream = encodeRaw(runs, options);
    expectSameEvents(decodeEvents(stream, rng() % 12), expected, what);

    // Cut the capture inside a packet or a reset's SE0: that event is lost, all
    // before it stay.
    std::vector<size_t> victims;
    for (size_t i = 0; i < expected.size(); ++i) {
      if (expected[i].bytes.size() > 4) victims.push_back(i);
    }
    if (victims.empty()) continue;
    const size_t victim = victims[rng() % victims.size()];
    const TeventBin& lost = expected[victim];
    const uint64_t inside = lost.kind == 3 ? lost.bytes[1] | lost.bytes[2] << 8 | lost.bytes[3] << 16
                                           : 8 + 8 * (lost.bytes.size() - 4);
    TlineRuns cut = runs;
    truncateRuns(cut, lost.time + 1 + rng() % inside);
    const std::vector<TeventBin> before(expected.begin(),
                                        expected.begin() + static_cast<std::ptrdiff_t>(victim));
    expectSameEvents(decodeEvents(encodeRaw(cut, options), 8), before, what + " cut");
  }
}
