#include <gtest/gtest.h>

#include "decode/ovcrc.h"
#include "synth/linestate.h"
#include "synth/usbpackets.h"

using namespace synth;

namespace {

std::vector<int> ticksOf(const TlineRuns& runs) {
  std::vector<int> ticks;
  for (const TlineRun& run : runs) ticks.insert(ticks.end(), run.ticks, run.state);
  return ticks;
}

// The line ticks of one packet sent with the given faults; whether they applied in *applied.
std::vector<int> wireTicks(const Tbytes& bytes, const TpacketFaults& faults = {}, bool* applied = nullptr) {
  TlineRuns runs;
  const TpacketWire wire = appendPacket(runs, bytes, faults);
  if (applied) *applied = wire.faultsApplied;
  return ticksOf(runs);
}

}  // namespace

TEST(Packets, KnownBytesAndCrcs) {
  EXPECT_EQ(tokenPacket(pidOut, 5, 0), (Tbytes{0xE1, 0x05, 0xD0}));
  EXPECT_EQ(sofPacket(222), (Tbytes{0xA5, 0xDE, 0xE8}));
  EXPECT_EQ(handshakePacket(pidAck), Tbytes{0xD2});
  EXPECT_EQ(handshakePacket(pidStall), Tbytes{0x1E});
  EXPECT_EQ(pidByte(pidMdata), 0x0F);

  // Every token field passes the CRC5 check and every single-bit error fails it.
  for (unsigned field = 0; field < 2048; field += 7) {
    Tbytes t = tokenPacket(pidIn, field & 0x7F, field >> 7);
    ASSERT_TRUE(crc::checkCRC5(&t[1])) << field;
    for (int bit = 0; bit < 16; ++bit) {
      Tbytes bad = t;
      bad[1 + bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
      ASSERT_FALSE(crc::checkCRC5(&bad[1])) << field << " bit " << bit;
    }
  }

  const std::string check = "123456789";  // the catalogue check value of CRC-16/USB is 0xB4C8
  Tbytes d = dataPacket(pidData1, Tbytes(check.begin(), check.end()));
  ASSERT_EQ(d.size(), 12u);
  EXPECT_EQ(d[0], 0x4B);
  EXPECT_EQ(d[10] | d[11] << 8, 0xB4C8);
  EXPECT_EQ(dataPacket(pidData0, {}), (Tbytes{0xC3, 0x00, 0x00}));

  breakCrc(d);
  EXPECT_NE(d[10] | d[11] << 8, 0xB4C8);
  Tbytes t = tokenPacket(pidSetup, 0, 0);
  breakPidCheck(t);
  EXPECT_EQ(t[0], 0x3D);
}

TEST(LineState, SyncNrziStuffingAndFaults) {
  // OUT PID 0xE1, bits sent low first 1 0 0 0 0 1 1 1, from the sync's final K.
  TlineRuns runs;
  TpacketWire wire = appendPacket(runs, {0xE1});
  EXPECT_EQ(ticksOf(runs), (std::vector<int>{1, 2, 1, 2, 1, 2, 1, 1, /**/ 1, 2, 1, 2, 1, 1, 1, 1, 0, 0}));
  EXPECT_EQ(wire.ticks, 18u);

  // Eight 1 bits: a stuffed 0 (a toggle) after the sixth; a violation sends a 1 in its place.
  const std::vector<int> stuffed{1, 2, 1, 2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 0, 0};
  EXPECT_EQ(wireTicks({0xFF}), stuffed);
  bool applied = false;
  EXPECT_EQ(wireTicks({0xFF}, {false, false, -1, 1, true}, &applied),
            (std::vector<int>{1, 2, 1, 2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0}));
  EXPECT_TRUE(applied);
  // Nothing to violate in a packet without six 1s in a row.
  wireTicks({0xE1}, {false, false, -1, 1, true}, &applied);
  EXPECT_FALSE(applied);

  // Short sync drops the first K J; broken sync doubles the first K.
  EXPECT_EQ(wireTicks({0xE1}, {true, false, -1, 1, false}),
            (std::vector<int>{1, 2, 1, 2, 1, 1, 1, 2, 1, 2, 1, 1, 1, 1, 0, 0}));
  const std::vector<int> broken = wireTicks({0xE1}, {false, true, -1, 1, false});
  EXPECT_EQ(broken.size(), 19u);
  EXPECT_EQ(broken[1], 1);

  // SE1 takes the place of the first J at or after the given bit; a longer one stretches the packet.
  EXPECT_EQ(wireTicks({0xE1}, {false, false, 2, 1, false}, &applied),
            (std::vector<int>{1, 2, 1, 2, 1, 2, 1, 1, 1, 2, 1, 3, 1, 1, 1, 1, 0, 0}));
  EXPECT_TRUE(applied);
  EXPECT_EQ(wireTicks({0xE1}, {false, false, 2, 4, false}),
            (std::vector<int>{1, 2, 1, 2, 1, 2, 1, 1, 1, 2, 1, 3, 3, 3, 3, 1, 1, 1, 1, 0, 0}));
  wireTicks({0xE1}, {false, false, 5, 1, false}, &applied);
  EXPECT_FALSE(applied);

  // Truncation keeps whole ticks.
  runs.clear();
  appendPacket(runs, {0xE1});
  truncateRuns(runs, 7);
  EXPECT_EQ(ticksOf(runs), (std::vector<int>{1, 2, 1, 2, 1, 2, 1}));
}
