#include "synth/host.h"

#include <gtest/gtest.h>

#include "synth/requests.h"

using namespace synth;

namespace {

// The packets of the recorded events without their idle bytes, SOFs left out.
std::vector<Tbytes> packets(TbusWriter& bus) {
  bus.finish();
  std::vector<Tbytes> out;
  for (const TeventBin& e : bus.takeEvents()) {
    if (e.kind == 1 && e.bytes[0] != 0xA5) out.emplace_back(e.bytes.begin(), e.bytes.end() - 4);
  }
  return out;
}

Tbytes counting(size_t from, size_t to) {
  Tbytes b;
  for (size_t i = from; i < to; ++i) b.push_back(static_cast<uint8_t>(i));
  return b;
}

Tbytes counting(size_t n) { return counting(0, n); }

}  // namespace

TEST(Host, ControlTransfersSplitToggleAndEnd) {
  TbusWriter bus;
  ThostTiming timing;
  timing.nakPercent = 0;
  TusbHost host(bus, 1, timing);
  // 16 bytes in 8-byte packets, wLength 64: a zero-length packet ends the data stage.
  const Tbytes request = getDescriptor(dtConfiguration, 0, 0, 64);
  host.controlRead(3, 8, request, counting(16));
  const Tbytes first = counting(8), second = counting(8, 16);
  std::vector<Tbytes> want{
      tokenPacket(pidSetup, 3, 0), dataPacket(pidData0, request), handshakePacket(pidAck),
      tokenPacket(pidIn, 3, 0),    dataPacket(pidData1, first),   handshakePacket(pidAck),
      tokenPacket(pidIn, 3, 0),    dataPacket(pidData0, second),  handshakePacket(pidAck),
      tokenPacket(pidIn, 3, 0),    dataPacket(pidData1, {}),      handshakePacket(pidAck),
      tokenPacket(pidOut, 3, 0),   dataPacket(pidData1, {}),      handshakePacket(pidAck)};
  EXPECT_EQ(packets(bus), want);

  // wLength reached: no zero-length packet; longer data is cut at wLength.
  host.controlRead(3, 8, getDescriptor(dtDevice, 0, 0, 8), counting(18));
  std::vector<Tbytes> got = packets(bus);
  ASSERT_EQ(got.size(), 9u);
  EXPECT_EQ(got[4], dataPacket(pidData1, counting(8)));
  EXPECT_EQ(got[6], tokenPacket(pidOut, 3, 0));

  // Control write: OUT data stage from DATA1, then an IN status stage.
  host.controlWrite(4, 8, setupRequest(0x21, 9, 0x200, 0, 10), counting(10));
  got = packets(bus);
  ASSERT_EQ(got.size(), 12u);
  EXPECT_EQ(got[3], tokenPacket(pidOut, 4, 0));
  EXPECT_EQ(got[4], dataPacket(pidData1, counting(8)));
  EXPECT_EQ(got[7][0], pidByte(pidData0));
  EXPECT_EQ(got[9], tokenPacket(pidIn, 4, 0));
  EXPECT_EQ(got[10], dataPacket(pidData1, {}));
  EXPECT_EQ(got[11], handshakePacket(pidAck));
}

TEST(Host, PollingTogglesAndReplies) {
  TbusWriter bus;
  TusbHost host(bus, 2);
  const Tbytes report{1, 2, 3, 4};
  host.pollIn(9, 1, nullptr);
  host.pollIn(9, 1, &report);
  host.pollIn(9, 1, nullptr);  // a NAK does not move the toggle
  host.pollIn(9, 1, &report);
  host.bulkOut(9, 2, 64, counting(100));  // OUT keeps its own toggle
  host.in(9, 3, pidData0, {}, Treply::none);
  host.out(9, 3, pidData0, {}, Treply::stall);
  std::vector<Tbytes> got = packets(bus);
  std::vector<Tbytes> want{
      tokenPacket(pidIn, 9, 1),     handshakePacket(pidNak),   tokenPacket(pidIn, 9, 1),
      dataPacket(pidData0, report), handshakePacket(pidAck),   tokenPacket(pidIn, 9, 1),
      handshakePacket(pidNak),      tokenPacket(pidIn, 9, 1),  dataPacket(pidData1, report),
      handshakePacket(pidAck),      tokenPacket(pidOut, 9, 2), dataPacket(pidData0, counting(64)),
      handshakePacket(pidAck),      tokenPacket(pidOut, 9, 2), dataPacket(pidData1, counting(64, 100)),
      handshakePacket(pidAck),      tokenPacket(pidIn, 9, 3),  tokenPacket(pidOut, 9, 3),
      dataPacket(pidData0, {}),     handshakePacket(pidStall)};
  EXPECT_EQ(got, want);
}

TEST(Host, TransactionsStayInsideFrames) {
  TbusWriter bus;
  TusbHost host(bus, 3);
  for (int i = 0; i < 400; ++i) host.bulkIn(5, 1, 64, counting(64), i % 3);
  bus.finish();
  const std::vector<TeventBin> events = bus.takeEvents();
  unsigned sofs = 0;
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i].bytes[0] != 0xA5) continue;
    ++sofs;
    EXPECT_EQ(events[i].time % ticksPerFrame, 0u) << i;  // on the boundary, never late
    // The packet before a SOF ends a transaction: a handshake.
    if (i > 0) {
      EXPECT_EQ(events[i - 1].bytes.size(), 1u + 4) << i;
    }
  }
  EXPECT_GT(sofs, 10u);
}
