// Class traffic outside control transfers: CDC notifications and the replies
// of SCSI commands, recognised by the interface that owns the endpoint.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

#include "synthrows.h"

namespace {

using namespace synth;

// Device 6: interface 0 CDC with interrupt endpoint 0x83, interface 1 mass
// storage with bulk endpoints 0x81 and 0x02.
void enumerate(Ttraffic& traffic) {
  const Tbytes config{9, 2, 46, 0, 2, 1, 0, 0x80, 50,                            //
                      9, 4, 0,  0, 1, 2, 2, 1,    0,  7, 5, 0x83, 3, 16, 0, 16,  //
                      9, 4, 1,  0, 2, 8, 6, 0x50, 0,  7, 5, 0x81, 2, 64, 0, 0,  7, 5, 0x02, 2, 64, 0, 0};
  traffic.host.controlRead(6, 64, getDescriptor(2, 0, 0, 46), config);
}

Tbytes cbw(uint8_t tag, uint8_t length, std::initializer_list<uint8_t> cdb) {
  const Tbytes head{
      'U', 'S', 'B', 'C', tag, 0, 0, 0, length, 0, 0, 0, 0x80, 0, static_cast<uint8_t>(cdb.size())};
  Tbytes b(31, 0);
  std::copy(head.begin(), head.end(), b.begin());
  std::copy(cdb.begin(), cdb.end(), b.begin() + static_cast<std::ptrdiff_t>(head.size()));
  return b;
}

}  // namespace

TEST(ScriptsOnClasses, CdcNotifications) {
  Ttraffic traffic;
  enumerate(traffic);
  traffic.host.in(6, 3, pidData0, {0xA1, 0x20, 0, 0, 0, 0, 2, 0, 0x43, 0});
  traffic.host.in(6, 3, pidData1, {0xA1, 0x00, 1, 0, 0, 0, 0, 0});
  // The same bytes on the storage endpoint are not a notification.
  traffic.host.in(6, 1, pidData0, {0xA1, 0x00, 1, 0, 0, 0, 0, 0});
  const Tdecoded d = decodeAll(traffic.rows());
  const std::string serial = d.find(otTransax, "CDC SERIAL_STATE");
  EXPECT_TRUE(has(serial, "bRxCarrier (DCD)#on\nbTxCarrier (DSR)#on\nbBreak#off")) << serial;
  EXPECT_TRUE(has(serial, "bOverRun (data lost)#on")) << serial;
  EXPECT_NE(d.find(otTransax, "IN transaction to 6.3: ACK (CDC NETWORK_CONNECTION: connected)"), "");
  EXPECT_EQ(d.find(otTransax, "IN transaction to 6.1: ACK (CDC"), "");
}

TEST(ScriptsOnClasses, ScsiReplies) {
  Ttraffic traffic;
  enumerate(traffic);
  traffic.host.out(6, 2, pidData0, cbw(1, 18, {0x03, 0, 0, 0, 18, 0}));
  traffic.host.in(6, 1, pidData0, {0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x28, 0x00, 0, 0, 0, 0});
  traffic.host.out(6, 2, pidData1, cbw(2, 32, {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}));
  traffic.host.in(6, 1, pidData1, {0, 0, 0, 0, 0, 0, 0x0F, 0xFF, 0, 0, 0x10, 0, 0, 0, 0, 0});
  traffic.host.out(6, 2, pidData0, cbw(3, 4, {0x1A, 0, 0x3F, 0, 4, 0}));
  traffic.host.in(6, 1, pidData0, {3, 0, 0x80, 0});
  const Tdecoded d = decodeAll(traffic.rows());
  EXPECT_NE(d.find(otTransax, "Sense key#0x6 (UNIT ATTENTION)\nASC / ASCQ#0x28 / 0x00"), "");
  EXPECT_NE(d.find(otTransax, "Block length#4096 bytes\nCapacity#16777216 bytes"), "");
  EXPECT_NE(d.find(otTransax, "Write protected#yes"), "");
}

// Audio 2.0 requests, read against the clock source (entity 16) and feature unit
// (entity 2) of the device's descriptors; the descriptors themselves are the real capture's.
TEST(ScriptsOnClasses, AudioRequests) {
  const Tbytes config{9,  2,    53,   0,    1,    1,    0,  0x80, 50,  //
                      9,  4,    0,    0,    0,    1,    1,  0x20, 0,   //
                      9,  0x24, 0x01, 0x00, 0x02, 0x08, 35, 0,    0,   //
                      8,  0x24, 0x0A, 0x10, 0x03, 0x07, 0,  0,         //
                      18, 0x24, 0x06, 2,    1,    0x0F, 0,  0,    0,  0, 0, 0, 0, 0, 0, 0, 0, 0};
  Ttraffic traffic;
  traffic.host.controlRead(6, 64, getDescriptor(2, 0, 0, 53), config);
  traffic.host.controlWrite(6, 64, {0x21, 0x01, 0x00, 0x01, 0x00, 0x10, 4, 0}, {0x80, 0xBB, 0, 0});
  traffic.host.controlRead(6, 64, {0xA1, 0x02, 0x00, 0x01, 0x00, 0x10, 14, 0},
                           {1, 0, 0x44, 0xAC, 0, 0, 0x80, 0xBB, 0, 0, 0, 0, 0, 0});
  traffic.host.controlWrite(6, 64, {0x21, 0x01, 0x01, 0x02, 0x00, 0x02, 2, 0}, {0x00, 0xF6});
  const Tdecoded d = decodeAll(traffic.rows());
  EXPECT_NE(d.find(otTransfer, "Audio SET_CUR (sampling frequency of entity 16, channel master)"), "");
  EXPECT_NE(d.find(otTransfer, "Range#44100 to 48000 Hz, step 0"), "");
  EXPECT_NE(d.find(otTransfer, "Volume#-10.00 dB"), "");
}
