#include <gtest/gtest.h>

#include <random>

#include "reference.h"
#include "synth/descriptors.h"
#include "synth/generator.h"
#include "synth/rawencoder.h"
#include "synth/requests.h"

using namespace synth;

namespace {

std::vector<TeventBin> decodeStream(const std::vector<uint8_t>& stream) {
  std::vector<TrefRun> runs;
  EXPECT_TRUE(refDecodeRaw(stream, runs));
  return refDecodeBus(runs);
}

void expectSameEvents(const std::vector<TeventBin>& got, const std::vector<TeventBin>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(got[i].kind, want[i].kind) << "event " << i;
    ASSERT_EQ(got[i].time, want[i].time) << "event " << i;
    ASSERT_EQ(got[i].flags, want[i].flags) << "event " << i;
    ASSERT_EQ(got[i].bytes, want[i].bytes) << "event " << i;
  }
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

Tbytes payload(std::mt19937_64& rng, size_t max) {
  Tbytes p(rng() % (max + 1));
  for (uint8_t& b : p) b = static_cast<uint8_t>(rng() % 4 ? rng() : 0xFF);  // 0xFF makes stuffing
  return p;
}

}  // namespace

TEST(Traffic, WriterKeepsFramesAndGaps) {
  TbusWriter bus;
  bus.setFrame(2046);
  bus.idle(3 * ticksPerFrame + 100);
  bus.finish();
  const std::vector<TeventBin> events = bus.takeEvents();
  ASSERT_EQ(events.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(events[i].time, (i + 1) * ticksPerFrame);
    EXPECT_EQ(events[i].bytes[0], 0xA5);
    // Frame numbers rise and wrap at 11 bits.
    EXPECT_EQ((events[i].bytes[1] | events[i].bytes[2] << 8) & 0x7FF, (2046 + i) & 0x7FF);
  }
  EXPECT_EQ(bus.time(), 3 * ticksPerFrame + 100);  // the SOFs sit inside the idle
  expectSameEvents(decodeStream(encodeRaw(bus.runs())), events);

  // Back-to-back packets still get the J of the end of packet; a reset after a
  // packet is its own SE0.
  TbusWriter tight;
  tight.setSofs(false);
  tight.packet(handshakePacket(pidAck));
  tight.packet(handshakePacket(pidNak));
  tight.reset(100);
  tight.packet(handshakePacket(pidAck));
  tight.finish(40);
  const std::vector<TeventBin> t = tight.takeEvents();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(le32(t[0].bytes, 1), 1u);
  EXPECT_EQ(le32(t[2].bytes, 1), 100u);
  EXPECT_EQ(le32(t[2].bytes, 5), 1u);
  EXPECT_EQ(le32(t[3].bytes, 1), 40u);
  expectSameEvents(decodeStream(encodeRaw(tight.runs())), t);
}

TEST(Traffic, RandomTransactionsWithFaultsDecodeAsRecorded) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 40; ++round) {
    TbusWriter bus;
    bus.setFrame(static_cast<unsigned>(rng() % 2048));
    TusbHost host(bus, rng());
    TlineRuns runs;
    for (int n = 0; n < 60; ++n) {
      const unsigned addr = rng() % 128, endp = rng() % 16;
      const Treply reply = static_cast<Treply>(rng() % 4);
      switch (rng() % 9) {
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
          host.controlRead(addr, 8 << (rng() % 4), getDescriptor(dtDevice, 0, 0, 64), payload(rng, 70));
          break;
        case 4:
          host.controlWrite(addr, 8, setupRequest(0x21, 9, 0x200, 0, 20), payload(rng, 20));
          break;
        case 5:
          host.bulkIn(addr, endp, 64, payload(rng, 300), static_cast<unsigned>(rng() % 3));
          break;
        case 6:
          bus.reset(1 + static_cast<uint32_t>(rng() % 200000));
          break;
        case 7: {
          // A spoilt packet, each fault alone or together.
          Tbytes p = rng() % 2 ? dataPacket(static_cast<unsigned>(rng() % 16), payload(rng, 20))
                               : tokenPacket(static_cast<unsigned>(rng() % 16), addr, endp);
          if (rng() % 3 == 0) breakCrc(p);
          if (rng() % 3 == 0) breakPidCheck(p);
          TpacketFaults f;
          f.shortSync = rng() % 4 == 0;
          f.brokenSync = rng() % 4 == 0;
          f.se1AtBit = rng() % 3 ? -1 : static_cast<int>(rng() % 40);
          f.stuffViolation = rng() % 3 == 0;
          bus.idle(rng() % 50);
          bus.packet(p, f);
          break;
        }
        default:
          bus.idle(rng() % 30000);
      }
      if (rng() % 4 == 0) {
        const TlineRuns part = bus.takeRuns();
        runs.insert(runs.end(), part.begin(), part.end());
      }
    }
    bus.finish();
    const TlineRuns part = bus.takeRuns();
    runs.insert(runs.end(), part.begin(), part.end());
    TrawOptions options;
    options.varied = round % 2;
    options.seed = rng();
    expectSameEvents(decodeStream(encodeRaw(runs, options)), bus.takeEvents());
  }
}

TEST(Scenario, MouseEnumeratesThenPolls) {
  Tgenerator generator(makeScenario("hid", 3), 3);
  std::vector<uint8_t> stream;
  std::vector<TeventBin> expected;
  while (generator.time() < 12000ull * 400) {
    generator.next(stream);
    for (TeventBin& e : generator.takeEvents()) expected.push_back(std::move(e));
  }
  generator.finish(stream);
  for (TeventBin& e : generator.takeEvents()) expected.push_back(std::move(e));
  const std::vector<TeventBin> events = decodeStream(stream);
  expectSameEvents(events, expected);

  // Detach SE0, the host's reset, the reset after the first descriptor.
  std::vector<uint32_t> resets;
  for (const TeventBin& e : events) {
    if (e.kind == 3) resets.push_back(le32(e.bytes, 1));
  }
  EXPECT_EQ(resets, (std::vector<uint32_t>{24000, 120000, 120000}));

  // SOFs one frame apart with rising numbers, once they start.
  std::vector<const TeventBin*> sofs;
  for (const TeventBin& e : events) {
    if (e.kind == 1 && e.bytes[0] == 0xA5) sofs.push_back(&e);
  }
  ASSERT_GT(sofs.size(), 300u);
  for (size_t i = 1; i < sofs.size(); ++i) {
    const unsigned prev = (sofs[i - 1]->bytes[1] | sofs[i - 1]->bytes[2] << 8) & 0x7FF;
    const unsigned cur = (sofs[i]->bytes[1] | sofs[i]->bytes[2] << 8) & 0x7FF;
    const uint64_t frames = (sofs[i]->time - sofs[i - 1]->time + 6000) / 12000;
    ASSERT_EQ(cur, (prev + frames) & 0x7FF) << i;
    if (frames == 1) {
      ASSERT_LT(sofs[i]->time - sofs[i - 1]->time, 12000u + 200) << i;
    }
  }

  // The SETUP payloads of the enumeration, in order, and the data the host got back.
  std::vector<Tbytes> setups;
  Tbytes configuration, strings;
  unsigned reports = 0;
  for (size_t i = 0; i + 2 < events.size(); ++i) {
    const Tbytes& b = events[i].bytes;
    if (b[0] == 0x2D) setups.emplace_back(events[i + 1].bytes.begin() + 1, events[i + 1].bytes.begin() + 9);
    if (b[0] == 0x69 && (b[1] & 0x7F) == 7 && (b[1] >> 7 | (b[2] & 7) << 1) == 1 &&
        (events[i + 1].bytes[0] & 0x0F) != pidNak) {
      EXPECT_EQ(events[i + 1].bytes.size(), 1u + 4 + 2 + 4);  // PID, report, CRC, idle
      ++reports;
    }
  }
  const TdeviceBlobs mouse = hidMouseBlobs();
  std::vector<Tbytes> want{getDescriptor(dtDevice, 0, 0, 8), setAddress(7), getDescriptor(dtDevice, 0, 0, 18),
                           getDescriptor(dtConfiguration, 0, 0, 9), getDescriptor(dtConfiguration, 0, 0, 34)};
  for (int i = 0; i < 4; ++i)
    want.push_back(getDescriptor(dtString, static_cast<uint8_t>(i), i ? 0x409 : 0, 255));
  want.push_back(setConfiguration(1));
  want.push_back(hidSetIdle(0));
  want.push_back(getDescriptor(dtHidReport, 0, 0, static_cast<uint16_t>(mouse.hidReport.size() + 64)));
  EXPECT_EQ(setups, want);
  EXPECT_GT(reports, 5u);
  EXPECT_EQ(mouse.configuration.size(), 34u);
  EXPECT_EQ(mouse.strings[2], stringDescriptor("Synthetic Optical Mouse"));
  EXPECT_EQ(mouse.strings[2][0], 2 + 2 * 23);
}
