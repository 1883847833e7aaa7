#include <gtest/gtest.h>

#include <memory>

#include "decode/ovbin2obj.h"
#include "eventbuilder.h"

using namespace testev;

namespace {

TobjVec convert(const std::vector<TeventBin>& events, bool* ok = nullptr) {
  TobjVec objs;
  Tbin2obj conv;
  const bool result = conv.buildObjVec(events, objs);
  if (ok) *ok = result;
  return objs;
}

template <class T>
std::shared_ptr<T> as(const TobjPtr& obj) {
  auto p = std::dynamic_pointer_cast<T>(obj);
  EXPECT_TRUE(p) << "object type " << (obj ? obj->objType : 99);
  return p;
}

}  // namespace

TEST(Bin2obj, TokenSofAndResetFields) {
  TeventList in;
  in.raw({0xE1, 0x05, 0xD0}, 500, flagSe1).raw({0xA5, 0xDE, 0xE8}, 7).reset(30000, 12);
  bool ok = false;
  const TobjVec objs = convert(in.events, &ok);
  EXPECT_TRUE(ok);
  ASSERT_EQ(objs.size(), 3u);

  const auto out = as<Ttoken>(objs[0]);
  EXPECT_EQ(out->time, in.events[0].time);
  EXPECT_EQ(out->pid, 1u);
  EXPECT_EQ(out->idle, 500u);
  EXPECT_EQ(out->addr, 5u);
  EXPECT_EQ(out->endp, 0u);
  EXPECT_EQ(out->crc5, 0x1Au);
  EXPECT_TRUE(out->crcOK);
  EXPECT_EQ(out->flags, flagSe1);  // the event's own flags are kept

  const auto sof = as<Tsof>(objs[1]);
  EXPECT_EQ(sof->frame, 222u);
  EXPECT_EQ(sof->crc5, 0x1Du);
  EXPECT_TRUE(sof->crcOK);
  EXPECT_EQ(sof->idle, 7u);
  const auto reset = as<Treset>(objs[2]);
  EXPECT_EQ(reset->srcKind, srcKindOther);
  EXPECT_EQ(reset->time, in.events[2].time);
  EXPECT_EQ(reset->resetLen, 30000u);
  EXPECT_EQ(reset->idle, 12u);

  // Every single-bit error in the address/endpoint/CRC field is caught.
  for (int bit = 0; bit < 16; ++bit) {
    std::vector<uint8_t> b{0xE1, 0x05, 0xD0};
    b[1 + bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
    TeventList bad;
    bad.raw(b);
    const auto tok = as<Ttoken>(convert(bad.events).at(0));
    EXPECT_FALSE(tok->crcOK) << bit;
    EXPECT_EQ(tok->flags, flagCrc) << bit;
  }

  // A token cut short keeps its fields inside the packet: the idle bytes are
  // not read as address or endpoint.
  TeventList shortTok;
  shortTok.raw({0x69}, 0xFFFFFFFF);
  const auto tok = as<Ttoken>(convert(shortTok.events).at(0));
  EXPECT_EQ(tok->addr, 0u);
  EXPECT_EQ(tok->endp, 0u);
  EXPECT_FALSE(tok->crcOK);
  EXPECT_EQ(tok->flags, flagLength | flagCrc);
  EXPECT_EQ(tok->idle, 0xFFFFFFFFu);
}

TEST(Bin2obj, DataAndHandshakeLengthsAndCrc16) {
  TeventList in;
  in.raw({0xC3, 0x00, 0x00})             // zero-length DATA0
      .data(DATA1, {1, 2, 3, 4, 5})      // good payload
      .raw({0x4B, 1, 2, 3, 0x00, 0x00})  // wrong CRC16
      .raw({0x4B})                       // DATA1 with only its PID
      .raw({0xD2, 0x00})                 // ACK with an extra byte
      .handshake(NYET)                   // not legal on full speed
      .data(DATA2, {9})                  // not legal on full speed
      .raw({0xC3, 0x00, 0x00}, 20, flagPidCheck);
  bool ok = false;
  const TobjVec objs = convert(in.events, &ok);
  EXPECT_TRUE(ok);
  ASSERT_EQ(objs.size(), 8u);

  const auto zlp = as<Tdata>(objs[0]);
  EXPECT_TRUE(zlp->data.empty() && zlp->crcOK);
  EXPECT_EQ(zlp->flags, 0);

  const auto good = as<Tdata>(objs[1]);
  EXPECT_EQ(good->data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(good->crc16, crc::makeCRC16(good->data.data(), good->data.size()));
  EXPECT_EQ(good->flags, 0);

  const auto badCrc = as<Tdata>(objs[2]);
  EXPECT_EQ(badCrc->data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(badCrc->crcOK);
  EXPECT_EQ(badCrc->flags, flagCrc);

  const auto pidOnly = as<Tdata>(objs[3]);
  EXPECT_TRUE(pidOnly->data.empty());
  EXPECT_TRUE(pidOnly->crcOK);
  EXPECT_EQ(pidOnly->crc16, 0u);
  EXPECT_EQ(pidOnly->flags, flagLength);

  EXPECT_EQ(as<Thandshake>(objs[4])->flags, flagLength);
  EXPECT_EQ(as<Thandshake>(objs[5])->flags, flagPidIllegal);
  EXPECT_EQ(as<Tdata>(objs[6])->flags, flagPidIllegal);
  EXPECT_EQ(objs[7]->flags, flagPidCheck);
}

// One event that cannot be converted must not cost the rest of the capture.
TEST(Bin2obj, UnconvertibleEventsAreSkippedAndReported) {
  TeventList in;
  in.handshake(ACK).token(PING, 1, 0);                           // PING
  in.handshake(NAK).raw({0xF0});                                 // reserved PID 0
  in.handshake(ACK).raw({0x3C, 0, 0, 0});                        // ERR/PRE
  in.handshake(NAK).raw({});                                     // no sync: only the idle bytes
  in.handshake(ACK).raw({0xD2}, 20, 0, 7);                       // unknown kind
  in.handshake(NAK).raw({0x11, 0, 0, 0, 0, 0, 0, 0}, 20, 0, 3);  // reset without 0x10
  in.handshake(ACK).raw({0x10}, 20, 0, 3);                       // reset too short for its lengths
  in.handshake(STALL);
  TeventBin tooShort;  // fewer bytes than the idle time needs
  tooShort.kind = 1;
  tooShort.bytes = {0xD2, 0};
  in.events.push_back(tooShort);
  in.sof(3);

  bool ok = true;
  const TobjVec objs = convert(in.events, &ok);
  EXPECT_FALSE(ok);
  const std::vector<uint32_t> pids{ACK, NAK, ACK, NAK, ACK, NAK, ACK, STALL, SOF};
  ASSERT_EQ(objs.size(), pids.size());
  for (std::size_t k = 0; k < pids.size(); ++k) {
    EXPECT_EQ(std::static_pointer_cast<TpacketBase>(objs[k])->pid, pids[k]) << k;
  }
  // Objects keep the times of their own events.
  EXPECT_EQ(objs[1]->time, in.events[2].time);
  EXPECT_EQ(objs.back()->time, in.events.back().time);

  // The result only reports; objects already in the vector stay.
  TobjVec more = objs;
  Tbin2obj conv;
  EXPECT_TRUE(conv.buildObjVec(TeventList().handshake(ACK).events, more));
  EXPECT_EQ(more.size(), objs.size() + 1);
}
