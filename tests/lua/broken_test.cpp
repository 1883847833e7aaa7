// The scripts on damaged and hostile data: every text is valid markup and a
// decode, never a script error.
#include <gtest/gtest.h>

#include <vector>

#include "synthrows.h"

using namespace synth;
using Bytes = Tbytes;

TEST(ScriptsOnBrokenData, DescriptorsDecodedAsFarAsTheyGo) {
  const struct {
    Bytes setup, stage;
    std::vector<const char*> facts;
  } cases[] = {
      // Cut after 8 bytes: the head fields, then a note.
      {getDescriptor(1, 0, 0, 255),
       {18, 1, 0x10, 1, 0, 0, 0, 64},
       {"bMaxPacketSize0#64 bytes", "declares 18 bytes but only 8 were transferred"}},
      {getDescriptor(2, 0, 0, 255),
       {9, 2, 34, 0, 1, 1, 0, 0x80, 50},
       {"Truncated: only the first 9 of the 34 bytes"}},
      // Hosts read the 9-byte header first, on purpose.
      {getDescriptor(2, 0, 0, 9),
       {9, 2, 34, 0, 1, 1, 0, 0x80, 50},
       {"First 9 of the 34 bytes of wTotalLength, as requested: hosts read the 9-byte header"}},
      // An interface with bLength 0 would loop forever if trusted.
      {getDescriptor(2, 0, 0, 255),
       {9, 2, 27, 0, 1, 1, 0, 0x80, 50, 0, 4, 0, 0, 1, 3, 1, 2, 0, 7, 5, 0x81, 3, 4, 0, 10},
       {"Malformed: bLength 0 at offset 9"}},
      {getDescriptor(1, 0, 0, 255), {18}, {"only the bLength byte"}},
      {getDescriptor(3, 1, 0x409, 255), {5, 3, 'A', 0, 'B'}, {"bString#\"A\"", "odd number of bytes"}},
      {getDescriptor(3, 1, 0x409, 255), {255, 3, 'O', 0, 'K', 0}, {"bString#\"OK\"", "Truncated"}},
      // A report descriptor whose last item lacks its data byte.
      {{0x81, 6, 0, 0x22, 0, 0, 64, 0},
       {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75},
       {"Collection: Application", "Truncated: the item at offset 6 needs 1 data bytes but only 0 remain"}},
      // Separators inside device text stay out of the markup (checked by decodeAll).
      {getDescriptor(3, 2, 0x409, 255), {10, 3, ';', 0, '#', 0, '\n', 0, 0, 0}, {"bString"}},
  };
  for (const auto& c : cases) {
    const std::string t = readText(c.setup, c.stage);
    for (const char* fact : c.facts) EXPECT_TRUE(has(t, fact)) << fact << "\n" << t;
  }
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
  EXPECT_NE(d.find(otData, "(FAIL)"), "");  // the damaged CRC16
  EXPECT_NE(d.find(otData, "Invalid CBW: a CBW has 31 bytes, this one 20"), "");
  const std::string csw = d.find(otTransax, "CSW tag 0x00000009");
  EXPECT_TRUE(has(csw, "bCSWStatus#1 (Command Failed)")) << csw;
}
