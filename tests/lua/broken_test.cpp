// The scripts on damaged and hostile data: every text is valid markup and a
// decode, never a script error.
#include <gtest/gtest.h>

#include <random>

#include "synthrows.h"

namespace {

using namespace synth;
using Bytes = Tbytes;

}  // namespace

TEST(ScriptsOnBrokenData, DescriptorsDecodedAsFarAsTheyGo) {
  // Device descriptor cut after 8 bytes: the head fields, then a note.
  std::string t = readText(getDescriptor(1, 0), {18, 1, 0x10, 1, 0, 0, 0, 64});
  EXPECT_TRUE(has(t, "bMaxPacketSize0#64 bytes")) << t;
  EXPECT_FALSE(has(t, "idVendor")) << t;
  EXPECT_TRUE(has(t, "declares 18 bytes but only 8 were transferred")) << t;

  // The first 9 bytes of a configuration.
  t = readText(getDescriptor(2, 0), {9, 2, 34, 0, 1, 1, 0, 0x80, 50});
  EXPECT_TRUE(has(t, "Truncated: only the first 9 of the 34 bytes")) << t;

  // An interface with bLength 0 would loop forever if trusted.
  t = readText(getDescriptor(2, 0),
               {9, 2, 27, 0, 1, 1, 0, 0x80, 50, 0, 4, 0, 0, 1, 3, 1, 2, 0, 7, 5, 0x81, 3, 4, 0, 10});
  EXPECT_TRUE(has(t, "Malformed: bLength 0 at offset 9")) << t;

  // A lone length byte; a string whose bLength is odd; one that claims 255 bytes.
  t = readText(getDescriptor(1, 0), {18});
  EXPECT_TRUE(has(t, "only the bLength byte")) << t;
  t = readText(getDescriptor(3, 1, 0x409), {5, 3, 'A', 0, 'B'});
  EXPECT_TRUE(has(t, "bString#\"A\"")) << t;
  EXPECT_TRUE(has(t, "odd number of bytes")) << t;
  t = readText(getDescriptor(3, 1, 0x409), {255, 3, 'O', 0, 'K', 0});
  EXPECT_TRUE(has(t, "bString#\"OK\"")) << t;
  EXPECT_TRUE(has(t, "Truncated")) << t;

  // A report descriptor whose last item lacks its data byte.
  t = readText({0x81, 6, 0, 0x22, 0, 0, 64, 0}, {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75});
  EXPECT_TRUE(has(t, "Collection: Application")) << t;
  EXPECT_TRUE(has(t, "Truncated: the item at offset 6 needs 1 data bytes but only 0 remain")) << t;

  // Separators inside device text stay out of the markup (checked by decodeAll).
  t = readText(getDescriptor(3, 2, 0x409), {10, 3, ';', 0, '#', 0, '\n', 0, 0, 0});
  EXPECT_TRUE(has(t, "bString")) << t;
}

TEST(ScriptsOnBrokenData, PacketsAndWrappers) {
  Ttraffic traffic;
  // A SETUP with 7 bytes opens a transfer that has no request.
  traffic.host.setup(4, 0, {0x80, 6, 0, 1, 0, 0, 18});
  // A data packet whose CRC16 was damaged.
  Bytes damaged = dataPacket(pidData0, {1, 2, 3});
  breakCrc(damaged);
  traffic.packets({tokenPacket(pidOut, 4, 2), damaged, handshakePacket(pidAck)});
  // A CBW cut after 20 bytes, and a CSW of the right size.
  traffic.host.out(4, 2, pidData1,
                   {'U', 'S', 'B', 'C', 9, 0, 0, 0, 0, 2, 0, 0, 0x80, 0, 10, 0x28, 0, 0, 0, 0});
  traffic.host.in(4, 1, pidData0, {'U', 'S', 'B', 'S', 9, 0, 0, 0, 0, 0, 0, 0, 1});
  const Tdecoded d = decodeAll(traffic.rows());
  EXPECT_NE(d.find(otTransfer, "without a valid 8-byte SETUP"), "");
  EXPECT_NE(d.find(otTransax, "must carry 8 bytes, this one carries 7"), "");
  char received[32];
  std::snprintf(received, sizeof received, "CRC16 received#0x%02X%02X", damaged[damaged.size() - 1],
                damaged[damaged.size() - 2]);
  EXPECT_TRUE(has(d.find(otData, received), "(FAIL)")) << received;
  EXPECT_NE(d.find(otData, "Invalid CBW: a CBW has 31 bytes, this one 20"), "");
  const std::string csw = d.find(otTransax, "CSW tag 0x00000009");
  EXPECT_TRUE(has(csw, "bCSWStatus#1 (Command Failed)")) << csw;
}

// Random data stages for every request the scripts decode: whatever a device
// sends, every row still gets a text.
TEST(ScriptsOnBrokenData, RandomDataStages) {
  std::mt19937 rng(7);
  Ttraffic traffic;
  // A HID interface, so the random report descriptors below are used on its reports.
  traffic.host.controlRead(5, 8, getDescriptor(2, 0), {9, 2, 25, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0,
                                                       1, 3, 0,  0, 0, 7, 5, 0x81, 3,  8, 0, 10});
  const Bytes setups[] = {getDescriptor(1, 0),
                          getDescriptor(2, 0),
                          getDescriptor(3, 0),
                          getDescriptor(3, 1, 0x409),
                          getDescriptor(6, 0),
                          getDescriptor(15, 0),
                          {0x81, 6, 0, 0x22, 0, 0, 255, 0},
                          {0x81, 6, 0, 0x21, 0, 0, 9, 0},
                          {0xA1, 0x21, 0, 0, 0, 0, 7, 0},
                          {0xA1, 0xFE, 0, 0, 0, 0, 1, 0},
                          {0x80, 0, 0, 0, 0, 0, 2, 0},
                          {0xA1, 0x01, 0, 1, 0, 0, 8, 0}};
  for (int round = 0; round < 6; ++round) {
    for (const Bytes& setup : setups) {
      Bytes stage(rng() % 80);
      for (auto& b : stage) b = static_cast<uint8_t>(rng());
      // Plausible heads reach deeper into the decoders than pure noise.
      if (stage.size() > 2 && round % 2 == 0) {
        stage[0] = static_cast<uint8_t>(stage.size());
        stage[1] = setup[3] == 0x22 ? stage[1] : setup[3];
      }
      traffic.host.controlRead(5, 8, setup, stage);
    }
    Bytes wrapper(rng() % 40);
    for (auto& b : wrapper) b = static_cast<uint8_t>(rng());
    if (wrapper.size() >= 4)
      wrapper[0] = 'U', wrapper[1] = 'S', wrapper[2] = 'B', wrapper[3] = round % 2 ? 'C' : 'S';
    traffic.host.out(5, 2, pidData0, wrapper);
    Bytes report(rng() % 64);
    for (auto& b : report) b = static_cast<uint8_t>(rng());
    traffic.host.in(5, 1, pidData0, report);
  }
  const Tdecoded d = decodeAll(traffic.rows());
  EXPECT_GT(d.rows->size(), 1000u);
}
