// Synthetic packets with known fields through reader, bus decoder and packet
// objects: every object must carry what was put on the bus.
#include <gtest/gtest.h>

#include <random>

#include "decode/ovbin2obj.h"
#include "decode/ovraw.h"
#include "decode/ovraw2bin.h"
#include "synth/rawencoder.h"
#include "synth/traffic.h"

using namespace synth;

namespace {

struct Tsent {
  Tsent(uint32_t type = otReset, unsigned p = 16, unsigned a = 0, unsigned e = 0)
      : objType(type), pid(p), addr(a), endp(e) {}
  uint32_t objType;
  unsigned pid;
  unsigned addr, endp;
  Tbytes payload;
  uint32_t resetLen = 0;
  uint16_t flags = 0;
  bool crcOK = true;
};

}  // namespace

TEST(PacketObjects, CarryWhatWasSent) {
  std::mt19937_64 rng(11);
  TbusWriter bus;
  std::vector<Tsent> sent;
  for (int i = 0; i < 3000; ++i) {
    bus.idle(rng() % 3000);
    Tsent s;
    Tbytes bytes;
    switch (rng() % 4) {
      case 0: {
        static const unsigned tokens[] = {pidOut, pidIn, pidSetup};
        s = Tsent(otToken, tokens[rng() % 3], static_cast<unsigned>(rng() % 128),
                  static_cast<unsigned>(rng() % 16));
        bytes = tokenPacket(s.pid, s.addr, s.endp);
        break;
      }
      case 1: {
        s = Tsent(otData, rng() % 2 ? pidData0 : pidData1);
        s.payload.resize(rng() % 65);
        for (uint8_t& b : s.payload) b = static_cast<uint8_t>(rng());
        bytes = dataPacket(s.pid, s.payload);
        break;
      }
      case 2: {
        static const unsigned handshakes[] = {pidAck, pidNak, pidStall};
        s = Tsent(otHandshake, handshakes[rng() % 3]);
        bytes = handshakePacket(s.pid);
        break;
      }
      default:
        s = Tsent(otReset, 16);
        s.resetLen = 1 + static_cast<uint32_t>(rng() % 100000);
        bus.reset(s.resetLen);
        sent.push_back(s);
        continue;
    }
    if (s.objType != otHandshake && rng() % 5 == 0) {
      breakCrc(bytes);
      s.crcOK = false;
      s.flags |= flagCrc;
    }
    if (rng() % 7 == 0) {
      breakPidCheck(bytes);
      s.flags |= flagPidCheck;
    }
    TpacketFaults faults;
    if (rng() % 7 == 0) faults.se1AtBit = static_cast<int>(rng() % 8);
    if (rng() % 5 == 0) faults.stuffViolation = true;
    bus.packet(bytes, faults);
    sent.push_back(s);
  }
  bus.finish();
  const std::vector<TeventBin> expected = bus.takeEvents();

  Traw raw;
  ASSERT_TRUE(raw.addRawData(encodeRaw(bus.runs())));
  Traw2bin bin;
  std::vector<TeventBin> events;
  bin.buildBinVec(raw, events);
  TobjVec objs;
  ASSERT_TRUE(Tbin2obj().buildObjVec(events, objs));
  ASSERT_EQ(objs.size(), expected.size());

  size_t next = 0;
  unsigned lastFrame = 0;
  uint64_t lastSof = 0;
  bool anySof = false;
  for (size_t i = 0; i < objs.size(); ++i) {
    const Tbase& o = *objs[i];
    const TeventBin& e = expected[i];
    ASSERT_EQ(o.time, e.time) << i;
    if (o.objType == otSof) {
      const unsigned frame = static_cast<const Tsof&>(o).frame;
      // Frames held in reset send no SOF but still count.
      if (anySof) {
        EXPECT_EQ(frame, (lastFrame + (o.time - lastSof + 6000) / 12000) & 0x7FF) << i;
      }
      lastFrame = frame;
      lastSof = o.time;
      anySof = true;
      EXPECT_TRUE(static_cast<const Tsof&>(o).crcOK);
      continue;
    }
    ASSERT_LT(next, sent.size());
    const Tsent& s = sent[next++];
    ASSERT_EQ(o.objType, s.objType) << i;
    // Whether an SE1 found a J to replace is known to the recorded event only.
    EXPECT_EQ(o.flags, s.flags | (e.flags & flagSe1)) << i;
    const uint32_t trailing = e.bytes[e.bytes.size() - 4] | e.bytes[e.bytes.size() - 3] << 8 |
                              e.bytes[e.bytes.size() - 2] << 16 | uint32_t{e.bytes.back()} << 24;
    switch (o.objType) {
      case otReset:
        EXPECT_EQ(static_cast<const Treset&>(o).resetLen, s.resetLen) << i;
        EXPECT_EQ(static_cast<const Treset&>(o).idle, trailing) << i;
        continue;
      case otToken: {
        const Ttoken& t = static_cast<const Ttoken&>(o);
        EXPECT_EQ(t.addr, s.addr) << i;
        EXPECT_EQ(t.endp, s.endp) << i;
        EXPECT_EQ(t.crcOK, s.crcOK) << i;
        break;
      }
      case otData: {
        const Tdata& d = static_cast<const Tdata&>(o);
        EXPECT_EQ(d.data, s.payload) << i;
        EXPECT_EQ(d.crcOK, s.crcOK) << i;
        break;
      }
    }
    const TpacketBase& p = static_cast<const TpacketBase&>(o);
    EXPECT_EQ(p.pid, s.pid) << i;
    EXPECT_EQ(p.idle, trailing) << i;
  }
  EXPECT_EQ(next, sent.size());
  EXPECT_TRUE(anySof);
}
