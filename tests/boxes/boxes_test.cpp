#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "boxes/ovboxes.h"
#include "decode/ovgroup.h"

namespace {

std::shared_ptr<Ttoken> token(uint32_t pid, uint32_t addr, uint32_t endp, int level = 2) {
  auto t = std::make_shared<Ttoken>();
  t->pid = pid;
  t->addr = addr;
  t->endp = endp;
  t->level = level;
  return t;
}

std::shared_ptr<Tdata> data(uint32_t pid, std::vector<uint8_t> bytes, int level = 2) {
  auto d = std::make_shared<Tdata>();
  d->pid = pid;
  d->data = std::move(bytes);
  d->level = level;
  return d;
}

std::shared_ptr<Thandshake> handshake(uint32_t pid, int level = 2) {
  auto h = std::make_shared<Thandshake>();
  h->pid = pid;
  h->level = level;
  return h;
}

std::shared_ptr<Ttransax> transax(TtrxType type, std::vector<std::shared_ptr<Tbase>> children,
                                  int level = 1) {
  auto t = std::make_shared<Ttransax>(type);
  t->children = std::move(children);
  t->level = level;
  return t;
}

// A GET_DESCRIPTOR(device) transfer; the status stage only when `complete`.
std::shared_ptr<Ttransfer> getDescriptor(uint8_t request, bool complete) {
  auto transfer = std::make_shared<Ttransfer>();
  transfer->ordinal = 1;
  transfer->children = {
      transax(TtrxType::SETUP,
              {token(13, 0, 0), data(3, {0x80, request, 0, 1, 0, 0, 0x40, 0}), handshake(2)}),
      transax(TtrxType::IN, {token(9, 0, 0), handshake(10)}),
      transax(TtrxType::IN, {token(9, 0, 0), data(11, {0x12, 1, 0, 2, 0, 0, 0, 0x40, 0x34}), handshake(2)}),
      transax(TtrxType::IN, {token(9, 0, 0), data(3, {1, 2, 3, 4, 5, 6, 7, 8, 9}), handshake(2)}),
  };
  if (complete)
    transfer->children.push_back(transax(TtrxType::OUT, {token(1, 0, 0), data(11, {}), handshake(2)}));
  return transfer;
}

const std::string lineEnd = "\n";

}  // namespace

TEST(Boxes, TimeAndColourTexts) {
  EXPECT_EQ(Tboxes::tick2str(12, false), "1 000 ns");
  EXPECT_EQ(Tboxes::tick2str(0, false), "0 ns");
  EXPECT_EQ(Tboxes::tick2str(11, false), "916 ns");
  EXPECT_EQ(Tboxes::tick2str(1234567, true), "1 234 567");
  EXPECT_EQ(Tboxes::tick2str(123456, true), "123 456");
  EXPECT_EQ(Tboxes::tick2str(999, true), "999");
  // No overflow near the top of the range: (2^64 - 1) * 1000 / 12 ns.
  EXPECT_EQ(Tboxes::tick2str(~uint64_t{0}, false), "1 537 228 672 809 129 301 250 ns");
  EXPECT_EQ(Tboxes::hexRGB(0x800080), "0xff800080");
  EXPECT_EQ(Tboxes::hexRGB(0xe6d8ad), "0xffadd8e6");
  EXPECT_EQ(Tboxes::hexRGB(0x1000000), "0xff000000");  // only 24 bits

  // CRC texts are zero-padded to a minimum width, never cut (a sample file
  // may hold any value).
  Tboxes b;
  auto tok = token(9, 0, 0);
  tok->crc5 = 0x123;
  EXPECT_EQ(b.getBoxes(tok)[4].text2, "0x123");
  auto dat = data(3, {}, 0);
  dat->crc16 = 0xffffffff;
  EXPECT_EQ(b.getBoxes(dat)[4].text2, "0xffffffff");
}

TEST(Boxes, PacketRows) {
  // Rows the bundled example capture (checked against its golden boxes) does not hold.
  Tboxes b;
  auto tok = token(9, 5, 1);
  tok->ordinal = 12;
  tok->crc5 = 3;
  tok->crcOK = false;
  EXPECT_EQ(b.getBoxesString(tok),
            "g0,w14,t2|s0xff000000,0xfff0ffff,Packet 12|s0xff000000,0xfff0ffff,0 ns;"
            "g42,w7,t2|s0xff000000,0xffffff18,IN|s0xff000000,0xffffffff,0x69;"
            "g0,w7,t2|s0xffffffff,0xff000000,ADDR|s0xff000000,0xffffffff,5;"
            "g0,w7,t2|s0xff000000,0xff90ee90,ENDP|s0xff000000,0xffffffff,1;"
            "g0,w7,t2|s0xffff0000,0xffffffff,CRC5|s0xff000000,0xffffffff,0x03;"
            "g10,w8,t2|s0xff000000,0xffadd8e6,Idle|s0xff000000,0xffffffff,0;\n");

  auto nine = data(11, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 0);
  nine->crc16 = 0xab;
  EXPECT_EQ(b.getBoxesString(nine),
            "g0,w14,t2|s0xff000000,0xfff0ffff,Packet 6666|s0xff000000,0xfff0ffff,0 ns;"
            "g10,w7,t2|s0xff000000,0xff90ee90,DATA1|s0xff000000,0xffffffff,0x4B;"
            "g0,w2,t2|s0xffffffff,0xff800080,T|s0xff000000,0xffffffff,1;"
            "g0,w-30,t2|s0xffffffff,0xffff0000,DATA (9 bytes)|s0xff000000,0xffffffff,01 02 03 04  05 06 07 "
            "08   ...;"
            "g0,w7,t2|s0xffffffff,0xff778899,CRC16|s0xff000000,0xffffffff,0x00ab;"
            "g10,w8,t2|s0xff000000,0xffadd8e6,Idle|s0xff000000,0xffffffff,0;\n");

  const auto& empty = b.getBoxes(data(3, {}, 0));
  ASSERT_EQ(empty.size(), 6u);
  EXPECT_EQ(empty[2].text2, "0");  // DATA0 toggle
  EXPECT_EQ(empty[3].text1, "DATA");
  EXPECT_EQ(empty[3].text2, "");
  EXPECT_EQ(b.getBoxes(data(7, {1, 2, 3, 4, 5, 6, 7, 8}))[3].text2, "01 02 03 04  05 06 07 08 ");
  EXPECT_EQ(b.getBoxes(data(7, {}))[2].text2, "2");

  // Classes without boxes, and nothing at all.
  EXPECT_EQ(b.getBoxesString(std::make_shared<Tgrouper>()), lineEnd);
  EXPECT_EQ(b.getBoxesString(nullptr), lineEnd);
  EXPECT_TRUE(b.getBoxes(nullptr).empty());
}

TEST(Boxes, GroupRows) {
  Tboxes b;
  auto group = std::make_shared<TsofGroup>();
  for (int ordinal : {7, 8, 9}) {
    auto sof = std::make_shared<Tsof>();
    sof->ordinal = ordinal;
    group->children.push_back(sof);
  }
  EXPECT_EQ(b.getBoxesString(group),
            "g0,w14,t2|s0xff000000,0xfff0ffff,Packets|s0xff000000,0xfff0ffff,7 .. 9;"
            "g10,w21,t1|s0xffffffff,0xff696969,3 SOFs;\n");
  group->children.back() = handshake(2);  // a non-SOF adds no number
  EXPECT_EQ(b.getBoxes(group)[0].text2, "7 .. ");
  group->children.clear();
  EXPECT_EQ(b.getBoxes(group)[0].text2, "");
  EXPECT_EQ(b.getBoxes(group)[1].text1, "0 SOFs");

  // A top-level IN transaction: token at the transaction's level, then data and handshake.
  auto in = transax(TtrxType::IN, {token(9, 3, 1, 1), data(11, {0xaa}, 1), handshake(2, 1)}, 0);
  const auto& inBoxes = b.getBoxes(in);
  ASSERT_EQ(inBoxes.size(), 8u);
  EXPECT_EQ(inBoxes[1].gap, 10);  // token PID box at level 0
  EXPECT_EQ(inBoxes[4].gap, 10);  // data PID box
  EXPECT_EQ(inBoxes[5].text1, "T");
  EXPECT_EQ(inBoxes[6].text1, "DATA (1 bytes)");
  EXPECT_EQ(inBoxes[7].text1, "ACK");

  // Children of an unexpected class, or missing, give the warning box.
  auto odd = transax(TtrxType::OUT, {std::make_shared<Treset>(), nullptr, std::make_shared<Tsof>()});
  EXPECT_EQ(b.getBoxesString(odd),
            "g0,w14,t2|s0xff000000,0xff90ee90,Transaction|s0xff000000,0xff90ee90,6666;"
            "g0,w35,t1|s0xffff0000,0xfff0ffff,Warning - Unimplemented;"
            "g0,w35,t1|s0xffff0000,0xfff0ffff,Warning - Unimplemented;"
            "g0,w35,t1|s0xffff0000,0xfff0ffff,Warning - Unimplemented;\n");
}

TEST(Boxes, SetupFields) {
  Tboxes b;
  // The boxes between the token's (left, PID, ADDR, ENDP) and the handshake's.
  auto fields = [&](std::vector<uint8_t> setup) {
    const auto& boxes =
        b.getBoxes(transax(TtrxType::SETUP, {token(13, 0, 0), data(3, std::move(setup)), handshake(2)}, 0));
    std::vector<std::string> values;
    for (size_t i = 4; i + 1 < boxes.size(); ++i) values.push_back(boxes[i].text2);
    return values;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(fields({0x80, 6, 0x00, 0x01, 0, 0, 0x12, 0}),
            (V{"0", "DtoH", "S", "D", "6", "0x0100", "0x0000", "18"}));
  EXPECT_EQ(fields({0x21, 9, 0x34, 0x12, 0xcd, 0xab, 0x00, 0x01}),
            (V{"0", "HtoD", "C", "I", "9", "0x1234", "0xabcd", "256"}));
  EXPECT_EQ(fields({0x04, 0, 0, 0, 0, 0, 0, 0})[3], "?");
  EXPECT_EQ(fields({0x43, 0, 0, 0, 0, 0, 0, 0})[2], "V");
  EXPECT_EQ(fields({0x63, 255, 0, 0, 0, 0, 0, 0})[3], "O");
  EXPECT_EQ(fields({0x62, 255, 0, 0, 0, 0, 0, 0})[2], "R");
  EXPECT_TRUE(fields({0x80, 6, 0, 1, 0, 0, 0x12}).empty());  // not a SETUP packet
}

TEST(Boxes, ControlTransfers) {
  Tboxes b;
  const auto& failed = b.getBoxes(getDescriptor(0x40, false));
  ASSERT_EQ(failed.size(), 6u);
  EXPECT_EQ(failed[1].text2, "Non-standard");
  EXPECT_EQ(failed[5].text2, "Fail");
  // Drawing reads the stages without caching them in the transfer.
  const auto complete = getDescriptor(6, true);
  const auto& ok = b.getBoxes(complete);
  ASSERT_EQ(ok.size(), 6u);
  EXPECT_EQ(ok[4].text1, "DATA (18 bytes)");
  EXPECT_EQ(ok[5].text2, "OK");
  EXPECT_TRUE(complete->data.empty());
  EXPECT_FALSE(complete->complete);
  EXPECT_EQ(b.getBoxes(getDescriptor(12, true))[1].text2, "Sync Frame");
  EXPECT_EQ(b.getBoxes(getDescriptor(13, true))[1].text2, "Non-standard");
  EXPECT_EQ(b.getBoxes(getDescriptor(5, true))[1].text2, "Set Address");

  // Without a usable SETUP only the left box.
  auto noSetup = std::make_shared<Ttransfer>();
  noSetup->children = {transax(TtrxType::IN, {token(9, 0, 0), handshake(10)})};
  EXPECT_EQ(b.getBoxes(noSetup).size(), 1u);
  auto shortSetup = std::make_shared<Ttransfer>();
  shortSetup->children = {transax(TtrxType::SETUP, {token(13, 0, 0), data(3, {0x80, 6, 0, 1, 0, 0, 0x40})})};
  EXPECT_EQ(b.getBoxes(shortSetup).size(), 1u);
  auto noToken = std::make_shared<Ttransfer>();
  noToken->children = {transax(TtrxType::SETUP, {data(3, {0x80, 6, 0, 1, 0, 0, 0x40, 0})})};
  EXPECT_EQ(b.getBoxes(noToken).size(), 1u);
}
