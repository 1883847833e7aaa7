#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "boxes/ovboxes.h"
#include "support/objects.h"

namespace {

std::shared_ptr<Thandshake> handshake(uint32_t pid) { return packet<Thandshake>(pid); }

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

}  // namespace

TEST(Boxes, TimeAndColourTexts) {
  EXPECT_EQ(Tboxes::tick2str(12, false), "1 000 ns");
  EXPECT_EQ(Tboxes::tick2str(0, false), "0 ns");
  EXPECT_EQ(Tboxes::tick2str(11, false), "916 ns");
  EXPECT_EQ(Tboxes::tick2str(1234567, true), "1 234 567");
  // No overflow near the top of the range: (2^64 - 1) * 1000 / 12 ns.
  EXPECT_EQ(Tboxes::tick2str(~uint64_t{0}, false), "1 537 228 672 809 129 301 250 ns");
  EXPECT_EQ(Tboxes::hexRGB(0x1e6d8ad), "0xffadd8e6");  // only 24 bits, red last
}

TEST(Boxes, TransactionFields) {
  Tboxes b;
  // Children of an unexpected class, or missing (only a sample file makes these), give the warning box.
  const auto& odd =
      b.getBoxes(transax(TtrxType::OUT, {std::make_shared<Treset>(), nullptr, std::make_shared<Tsof>()}));
  EXPECT_EQ(
      std::count_if(odd.begin(), odd.end(), [](auto& box) { return box.text1 == "Warning - Unimplemented"; }),
      3);

  // The boxes between the token's (left, PID, ADDR, ENDP) and the handshake's.
  auto fields = [&](std::vector<uint8_t> setup) {
    const auto& boxes =
        b.getBoxes(transax(TtrxType::SETUP, {token(13, 0, 0), data(3, std::move(setup)), handshake(2)}));
    std::vector<std::string> values;
    for (size_t i = 4; i + 1 < boxes.size(); ++i) values.push_back(boxes[i].text2);
    return values;
  };
  // Directions, standard and class types are the goldens'.
  EXPECT_EQ(fields({0x43, 0, 0, 0, 0, 0, 0, 0})[2], "V");
  EXPECT_EQ(fields({0x63, 255, 0, 0, 0, 0, 0, 0})[3], "O");
  EXPECT_TRUE(fields({0x80, 6, 0, 1, 0, 0, 0x12}).empty());  // not a SETUP packet
}

TEST(Boxes, ControlTransfers) {
  Tboxes b;
  // Drawing reads the stages without caching them in the transfer.
  const auto complete = getDescriptor(6, true);
  EXPECT_EQ(b.getBoxes(complete).at(5).text2, "OK");
  EXPECT_TRUE(complete->data.empty());
  EXPECT_FALSE(complete->complete);
  EXPECT_EQ(b.getBoxes(getDescriptor(12, true)).at(1).text2, "Sync Frame");
  EXPECT_EQ(b.getBoxes(getDescriptor(0x40, false)).at(1).text2, "Non-standard");
}
