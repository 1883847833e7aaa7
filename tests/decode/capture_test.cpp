// Whole captures, synthesized on the wire and encoded as the device sends
// them, decoded to tree and rows.
#include "capture.h"

#include <gtest/gtest.h>

#include "decode/ovexthrd.h"
#include "decode/ovgroup.h"

using namespace synth;

namespace {

template <class T>
std::shared_ptr<T> as(const TobjPtr& obj) {
  auto p = std::dynamic_pointer_cast<T>(obj);
  EXPECT_TRUE(p) << "object type " << (obj ? obj->objType : 99);
  return p;
}

std::vector<unsigned> trxPids(const TobjPtr& trx) {
  std::vector<unsigned> pids;
  for (const auto& child : as<Ttransax>(trx)->children) pids.push_back(as<TpacketBase>(child)->pid);
  return pids;
}

size_t nodeCount(const TobjPtr& node) {
  size_t n = 1;
  if (node->objType >= otSofGroup) {
    for (const auto& child : static_cast<const Tgrouper&>(*node).children) n += nodeCount(child);
  }
  return n;
}

// Every row points back at itself and at a parent row that holds it.
void checkRows(const std::vector<TlinRow>& rows) {
  for (size_t r = 0; r < rows.size(); ++r) {
    const Tbase& obj = *rows[r].obj;
    ASSERT_EQ(obj.row, static_cast<int>(r));
    if (obj.parentRow < 0) {
      EXPECT_EQ(obj.level, 0) << r;
      continue;
    }
    ASSERT_LT(obj.parentRow, static_cast<int>(r));
    const auto& parent = static_cast<const Tgrouper&>(*rows[obj.parentRow].obj);
    EXPECT_EQ(obj.level, parent.level + 1) << r;
    bool found = false;
    for (const auto& child : parent.children) found |= child.get() == &obj;
    EXPECT_TRUE(found) << r;
    const bool inSofGroup = parent.objType == otSofGroup;
    const uint8_t want = inSofGroup                 ? rowFlagSof | rowFlagPacket
                         : obj.objType < otSofGroup ? rowFlagPacket
                                                    : 0;
    EXPECT_EQ(rows[r].flags, want) << r;
  }
}

}  // namespace

TEST(Capture, EnumerationOfTwoDevicesWithResetsStallsAndPolling) {
  TbusWriter bus;
  TusbHost host(bus, 7, testcap::steadyTiming());
  const TdeviceBlobs mouse = hidMouseBlobs();
  const Tbytes& dev = mouse.device;
  const unsigned mp = mouse.maxPacket0();
  using testcap::slice;

  bus.setSofs(false);
  bus.reset(30000);
  bus.setSofs(true);
  bus.idle(3 * ticksPerFrame);  // three SOFs and nothing else
  bus.setSofs(false);

  host.controlRead(0, mp, getDescriptor(dtDevice, 0, 0, 64), dev);

  // Bus reset in the middle of a transfer; the next IN on that endpoint is on its own.
  host.setup(0, 0, getDescriptor(dtDevice, 0, 0, 18));
  host.in(0, 0, pidData1, slice(dev, 0, 8));
  bus.idle(100);
  bus.reset(30000);
  host.in(0, 0, pidData0, slice(dev, 8, 8));

  host.controlWrite(0, mp, setAddress(1), {});
  host.controlWrite(0, mp, setAddress(33), {});

  // Two devices behind a hub, their control transfers interleaved.
  host.setup(1, 0, getDescriptor(dtConfiguration, 0, 0, 9));
  host.setup(33, 0, getDescriptor(dtDevice, 0, 0, 18));
  host.in(1, 0, pidData1, slice(mouse.configuration, 0, 9));
  host.in(33, 0, pidData1, slice(dev, 0, 8));
  host.in(33, 0, pidData0, slice(dev, 8, 8));
  host.in(33, 0, pidData1, slice(dev, 16, 2));
  host.out(33, 0, pidData1, {});
  host.out(1, 0, pidData1, {});

  // An unsupported string descriptor is STALLed in the data stage.
  host.setup(1, 0, getDescriptor(dtString, 9, langEnglishUs, 255));
  host.in(1, 0, 0, {}, Treply::stall);

  // NAKed interrupt polling, then a report.
  const Tbytes report{0x01, 0x05, 0xFB, 0x00};
  for (int k = 0; k < 3; ++k) host.pollIn(33, 1, nullptr);
  host.pollIn(33, 1, &report);

  // Packets that make no object: a broken sync, a PRE and a PING. Nothing
  // after them may be lost.
  TpacketFaults broken;
  broken.brokenSync = true;
  bus.idle(60);
  bus.packet(tokenPacket(pidIn, 33, 1), broken);
  bus.idle(60);
  bus.packet(Tbytes{pidByte(12)});
  bus.idle(60);
  bus.packet(tokenPacket(pidPing, 33, 1));

  bus.setSofs(true);
  bus.idle(2 * ticksPerFrame);
  bus.setSofs(false);

  // The capture ends before the host acknowledges this report.
  bus.idle(60);
  bus.packet(tokenPacket(pidIn, 33, 1));
  bus.idle(8);
  bus.packet(dataPacket(pidData1, report));
  const std::vector<uint8_t> raw = testcap::rawOf(bus, 11);

  TexThread ex;
  ASSERT_TRUE(ex.startDecode(&raw));
  EXPECT_EQ(ex.progress.load(), raw.size());
  // The broken sync, the PRE and the PING are events but not objects.
  EXPECT_EQ(ex.objects->size() + 3, ex.events->size());

  const TobjVec& roots = *ex.trees;
  ASSERT_EQ(roots.size(), 16u);
  size_t r = 0;
  EXPECT_EQ(as<Treset>(roots[r++])->resetLen, 30000u);
  EXPECT_EQ(as<TsofGroup>(roots[r++])->children.size(), 3u);

  const auto getDev = as<Ttransfer>(roots[r++]);
  EXPECT_EQ(getDev->children.size(), 2 + (dev.size() + mp - 1) / mp);
  EXPECT_EQ(getDev->findData(), dev);
  EXPECT_TRUE(getDev->complete);

  const auto cut = as<Ttransfer>(roots[r++]);
  EXPECT_EQ(cut->children.size(), 2u);
  EXPECT_EQ(cut->findData(), slice(dev, 0, 8));
  EXPECT_FALSE(cut->complete);
  EXPECT_EQ(roots[r++]->objType, otReset);
  EXPECT_EQ(trxPids(roots[r++]), (std::vector<unsigned>{pidIn, pidData0, pidAck}));

  for (unsigned addr : {1u, 33u}) {
    const auto setAddr = as<Ttransfer>(roots[r++]);
    EXPECT_EQ(setAddr->children.size(), 2u);
    EXPECT_EQ(setAddr->findSetupTransax()->findDataPkt()->data, setAddress(addr));
    EXPECT_TRUE(setAddr->findData().empty());
    EXPECT_TRUE(setAddr->complete);
  }

  const auto config1 = as<Ttransfer>(roots[r++]);
  const auto device33 = as<Ttransfer>(roots[r++]);
  EXPECT_EQ(config1->children.size(), 3u);
  EXPECT_EQ(config1->findData(), slice(mouse.configuration, 0, 9));
  EXPECT_TRUE(config1->complete);
  EXPECT_EQ(device33->children.size(), 5u);
  EXPECT_EQ(device33->findData(), dev);
  EXPECT_TRUE(device33->complete);
  for (const auto& trx : device33->children) EXPECT_EQ(as<Ttransax>(trx)->findTokenPkt()->addr, 33u);

  const auto stalled = as<Ttransfer>(roots[r++]);
  ASSERT_EQ(stalled->children.size(), 2u);
  EXPECT_EQ(trxPids(stalled->children[1]), (std::vector<unsigned>{pidIn, pidStall}));
  EXPECT_TRUE(stalled->findData().empty());
  EXPECT_FALSE(stalled->complete);

  for (int k = 0; k < 3; ++k) EXPECT_EQ(trxPids(roots[r++]), (std::vector<unsigned>{pidIn, pidNak}));
  const auto polled = as<Ttransax>(roots[r++]);
  EXPECT_TRUE(polled->ackOK());
  EXPECT_EQ(polled->findDataPkt()->data, report);
  EXPECT_EQ(as<TsofGroup>(roots[r++])->children.size(), 2u);
  ASSERT_EQ(r, roots.size());

  // No packet is flagged: the synthesized traffic is clean.
  for (const auto& obj : *ex.objects) EXPECT_EQ(obj->flags, 0) << obj->time;

  size_t nodes = 0;
  for (const auto& root : roots) nodes += nodeCount(root);
  ASSERT_EQ(ex.rows->size(), nodes);
  checkRows(*ex.rows);
  EXPECT_EQ(roots[4]->ordinal, 2);   // second reset
  EXPECT_EQ(roots[15]->ordinal, 2);  // second SOF group
  EXPECT_EQ(stalled->ordinal, 7);    // seventh transfer
  size_t transactions = 5;           // the stray IN, three NAKs and the report are roots
  for (const auto& root : roots) {
    if (root->objType == otTransfer) transactions += as<Ttransfer>(root)->children.size();
  }
  EXPECT_EQ(polled->ordinal, static_cast<int>(transactions));
  // Packet ordinals count every packet but the cut pair; the two resets are not packets.
  EXPECT_EQ(ex.rows->back().obj->ordinal, static_cast<int>(ex.objects->size() - 4));
}
