#include <gtest/gtest.h>

#include "decode/ovbin2obj.h"
#include "decode/ovobj2tree.h"
#include "eventbuilder.h"

using namespace testev;

namespace {

struct Ttree {
  TobjVec objs;
  TobjVec roots;
};

Ttree build(const TeventList& list) {
  Ttree t;
  Tbin2obj conv;
  EXPECT_TRUE(conv.buildObjVec(list.events, t.objs));
  Tobj2tree tree(t.objs, t.roots);
  return t;
}

template <class T>
std::shared_ptr<T> as(const TobjPtr& obj) {
  auto p = std::dynamic_pointer_cast<T>(obj);
  EXPECT_TRUE(p) << "object type " << (obj ? obj->objType : 99);
  return p;
}

std::vector<uint32_t> childPids(const TobjPtr& grouper) {
  std::vector<uint32_t> pids;
  for (const auto& child : as<Tgrouper>(grouper)->children) pids.push_back(as<TpacketBase>(child)->pid);
  return pids;
}

const std::vector<uint8_t> getDescriptor{0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00};
const std::vector<uint8_t> setAddress{0x00, 0x05, 0x21, 0x00, 0x00, 0x00, 0x00, 0x00};

}  // namespace

TEST(Obj2tree, SofGroupsTransactionsAndStrayPackets) {
  TeventList in;
  in.sof(1).sof(2).sof(3).token(IN, 4, 1).handshake(NAK).sof(4);
  in.data(DATA0, {7}).handshake(NYET);                    // no token before them
  in.token(OUT, 4, 2).data(DATA1, {1}).handshake(NYET);   // NYET is not an OUT handshake
  in.token(IN, 4, 1).data(DATA0, {1, 2}).handshake(ACK);  // complete IN
  in.token(IN, 4, 1).reset();                             // the reset ends the transaction
  in.token(OUT, 4, 2).handshake(ACK);                     // OUT without data
  const Ttree t = build(in);

  ASSERT_EQ(t.roots.size(), 12u);
  const auto group = as<TsofGroup>(t.roots[0]);
  ASSERT_EQ(group->children.size(), 3u);
  EXPECT_EQ(group->time, ~uint64_t{0});

  const auto nak = as<Ttransax>(t.roots[1]);
  EXPECT_EQ(nak->trxType, TtrxType::IN);
  EXPECT_EQ(childPids(nak), (std::vector<uint32_t>{IN, NAK}));
  EXPECT_FALSE(nak->ackOK());
  EXPECT_FALSE(nak->findDataPkt());
  EXPECT_EQ(nak->findHandshakePkt()->pid, uint32_t(NAK));
  EXPECT_EQ(nak->findTokenPkt()->addr, 4u);

  EXPECT_EQ(t.roots[2]->objType, otSof);  // a lone SOF stays a SOF
  EXPECT_EQ(t.roots[3]->objType, otData);
  EXPECT_EQ(as<Thandshake>(t.roots[4])->pid, uint32_t(NYET));

  const auto out = as<Ttransax>(t.roots[5]);
  EXPECT_EQ(childPids(out), (std::vector<uint32_t>{OUT, DATA1}));
  EXPECT_EQ(as<Thandshake>(t.roots[6])->pid, uint32_t(NYET));

  const auto full = as<Ttransax>(t.roots[7]);
  EXPECT_EQ(childPids(full), (std::vector<uint32_t>{IN, DATA0, ACK}));
  EXPECT_TRUE(full->ackOK());
  EXPECT_EQ(full->findDataPkt()->data.size(), 2u);

  EXPECT_EQ(childPids(t.roots[8]), (std::vector<uint32_t>{IN}));
  EXPECT_EQ(t.roots[9]->objType, otReset);
  EXPECT_EQ(childPids(t.roots[10]), (std::vector<uint32_t>{OUT}));
  EXPECT_EQ(as<Thandshake>(t.roots[11])->pid, uint32_t(ACK));  // not expected after OUT
}

TEST(Obj2tree, CutTransactionsVanishWithTheirPackets) {
  for (int cut = 1; cut <= 2; ++cut) {
    TeventList in;
    in.sof(1).sof(2).token(IN, 1, 1);
    if (cut == 2) in.data(DATA1, {1});
    const Ttree t = build(in);
    ASSERT_EQ(t.roots.size(), 1u) << cut;
    EXPECT_EQ(t.roots[0]->objType, otSofGroup);
  }
  // A transaction that reached its last step is complete even at the end.
  TeventList in;
  in.token(IN, 1, 1).data(DATA1, {1}).handshake(ACK);
  EXPECT_EQ(build(in).roots.size(), 1u);
  // An empty object vector gives no roots.
  EXPECT_TRUE(build(TeventList()).roots.empty());
}

TEST(Obj2tree, ControlReadCollectsDataAndCloses) {
  TeventList in;
  in.setupStage(3, getDescriptor);
  in.token(IN, 3, 0).handshake(NAK);  // NAKed polling joins the transfer
  in.token(IN, 3, 0).data(DATA1, {0x12, 0x01, 0x00, 0x02}).handshake(ACK);
  in.token(IN, 3, 0).data(DATA0, {0x09, 0x00}).handshake(ACK);
  in.token(IN, 3, 0).data(DATA1, {0xEE});  // not acknowledged: not data
  in.token(OUT, 3, 0).data(DATA1, {}).handshake(ACK);
  in.token(IN, 3, 0).data(DATA1, {0x55}).handshake(ACK);  // after the status stage
  const Ttree t = build(in);

  ASSERT_EQ(t.roots.size(), 2u);
  const auto transfer = as<Ttransfer>(t.roots[0]);
  EXPECT_EQ(transfer->groupType, L1groupType::Control);
  ASSERT_EQ(transfer->children.size(), 6u);
  EXPECT_FALSE(transfer->complete);
  EXPECT_EQ(transfer->findData(), (std::vector<uint8_t>{0x12, 0x01, 0x00, 0x02, 0x09, 0x00}));
  EXPECT_TRUE(transfer->complete);

  const auto setup = transfer->findSetupTransax();
  ASSERT_TRUE(setup);
  EXPECT_EQ(setup->findDataPkt()->data, getDescriptor);
  std::size_t index = 0;
  EXPECT_EQ(transfer->findTransax(TtrxType::OUT, index), transfer->children[5]);
  EXPECT_EQ(index, 5u);
  index = 2;
  EXPECT_EQ(transfer->findTransax(TtrxType::IN, index), transfer->children[2]);
  EXPECT_EQ(index, 2u);
  index = 1;
  EXPECT_FALSE(transfer->findTransax(TtrxType::SETUP, index));
  EXPECT_EQ(index, transfer->children.size());

  // The zero-length OUT closed the endpoint, so the next IN stands alone.
  EXPECT_EQ(t.roots[1]->objType, otTransax);

  // The joined data is cached: later changes to the packets do not show.
  as<Ttransax>(transfer->children[2])->findDataPkt()->data.clear();
  EXPECT_EQ(transfer->findData().size(), 6u);
}

TEST(Obj2tree, ControlWriteAndTransfersWithoutData) {
  TeventList in;
  in.setupStage(9, {0x21, 0x09, 0, 0, 0, 0, 3, 0});
  in.token(OUT, 9, 0).data(DATA1, {0xA, 0xB, 0xC}).handshake(ACK);
  in.token(IN, 9, 0).handshake(NAK);
  in.token(IN, 9, 0).data(DATA1, {}).handshake(ACK);
  in.setupStage(9, setAddress);
  in.token(IN, 9, 0).data(DATA1, {}).handshake(ACK);
  in.token(OUT, 9, 0).data(DATA0, {}).handshake(ACK);  // the transfer without data stage stays open
  const Ttree t = build(in);

  ASSERT_EQ(t.roots.size(), 2u);
  const auto write = as<Ttransfer>(t.roots[0]);
  EXPECT_EQ(write->children.size(), 4u);
  EXPECT_EQ(write->findData(), (std::vector<uint8_t>{0xA, 0xB, 0xC}));
  EXPECT_TRUE(write->complete);

  // No data stage: the IN zero-length packet counts as data direction and the
  // transfer stays open, so the OUT joins it and completes it.
  const auto noData = as<Ttransfer>(t.roots[1]);
  EXPECT_EQ(noData->children.size(), 3u);
  EXPECT_TRUE(noData->findData().empty());
  EXPECT_TRUE(noData->complete);
}

TEST(Obj2tree, SetupEdgeCases) {
  TeventList in;
  in.token(SETUP, 2, 0).handshake(ACK);  // no DATA0: a one-packet SETUP still opens a transfer
  in.token(IN, 2, 0).data(DATA1, {1}).handshake(ACK);
  in.token(SETUP, 2, 0).data(DATA0, {0x80, 6, 0, 1, 0, 0, 0x12}).handshake(ACK);  // 7 bytes
  in.token(IN, 2, 0).data(DATA1, {1}).handshake(ACK);
  in.token(OUT, 2, 0).data(DATA1, {}).handshake(ACK);
  const Ttree t = build(in);

  ASSERT_EQ(t.roots.size(), 3u);
  const auto first = as<Ttransfer>(t.roots[0]);
  EXPECT_EQ(childPids(first->children[0]), (std::vector<uint32_t>{SETUP}));
  EXPECT_EQ(first->children.size(), 2u);
  EXPECT_TRUE(first->findData().empty());
  EXPECT_FALSE(first->complete);
  EXPECT_EQ(as<Thandshake>(t.roots[1])->pid, uint32_t(ACK));

  // A new SETUP takes over the endpoint; its 7-byte request gives no data.
  const auto second = as<Ttransfer>(t.roots[2]);
  EXPECT_EQ(second->children.size(), 3u);
  second->complete = true;
  EXPECT_TRUE(second->findData().empty());
  EXPECT_TRUE(second->complete);  // untouched without a valid request
}

TEST(PidTargets, TransactionPatterns) {
  // A STALLed IN is a two-packet transaction; an OUT is STALLed or NAKed after its data.
  TeventList in;
  in.token(IN, 5, 1).handshake(STALL).token(OUT, 5, 2).data(DATA0, {1}).handshake(STALL);
  in.token(OUT, 5, 2).data(DATA1, {1}).handshake(NAK).sof(9);
  const Ttree t = build(in);
  ASSERT_EQ(t.roots.size(), 4u);
  EXPECT_EQ(childPids(t.roots[0]), (std::vector<uint32_t>{IN, STALL}));
  EXPECT_EQ(childPids(t.roots[1]), (std::vector<uint32_t>{OUT, DATA0, STALL}));
  EXPECT_EQ(childPids(t.roots[2]), (std::vector<uint32_t>{OUT, DATA1, NAK}));
}
