#include <gtest/gtest.h>

#include "streamchecks.h"
#include "synth/descriptors.h"
#include "synth/generator.h"
#include "synth/rawencoder.h"
#include "synth/requests.h"

using namespace synth;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
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
  expectSameEvents(decodeEvents(encodeRaw(bus.runs())), events);

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
  expectSameEvents(decodeEvents(encodeRaw(tight.runs())), t);
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
  const std::vector<TeventBin> events = decodeEvents(stream);
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
  EXPECT_EQ(mouse.strings[2], stringDescriptor("Synthetic Optical Mouse"));
}
