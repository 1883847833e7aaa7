// A capture may stop anywhere inside a transaction. What it cut off before its
// handshake has no outcome and must not pass for a whole transaction; what
// ended before the stop must all be there.
#include <gtest/gtest.h>

#include "capture.h"
#include "decode/ovexthrd.h"
#include "files/ovrowutils.h"

using namespace synth;

namespace {

struct Tending {
  const char* name;
  std::vector<Tbytes> packets;
  bool kept;
};

}  // namespace

TEST(CaptureEnd, TransactionCutOffByTheStopGoesWithItsPackets) {
  const std::vector<Tending> endings = {
      {"lone IN token", {tokenPacket(pidIn, 4, 1)}, false},
      {"lone SETUP token", {tokenPacket(pidSetup, 4, 0)}, false},
      // A handshake ends a transaction: one that ends the capture is whole.
      {"NAKed IN", {tokenPacket(pidIn, 4, 1), handshakePacket(pidNak)}, true},
      {"STALLed IN", {tokenPacket(pidIn, 4, 1), handshakePacket(pidStall)}, true},
      {"IN and its data", {tokenPacket(pidIn, 4, 1), dataPacket(pidData1, {2})}, false},
      {"OUT and its data", {tokenPacket(pidOut, 4, 2), dataPacket(pidData0, {1})}, false},
      {"whole IN", {tokenPacket(pidIn, 4, 1), dataPacket(pidData1, {2}), handshakePacket(pidAck)}, true},
  };
  for (const Tending& ending : endings) {
    SCOPED_TRACE(ending.name);
    TbusWriter bus;
    bus.setSofs(false);
    // One whole transaction first, so the decode has something to keep.
    for (const Tbytes& packet :
         {tokenPacket(pidOut, 4, 2), dataPacket(pidData0, {9}), handshakePacket(pidAck)}) {
      bus.idle(40);
      bus.packet(packet);
    }
    for (const Tbytes& packet : ending.packets) {
      bus.idle(40);
      bus.packet(packet);
    }
    const std::vector<uint8_t> raw = testcap::rawOf(bus);
    TexThread ex;
    ASSERT_TRUE(ex.startDecode(&raw));
    const Tcapture& decoded = *ex.capture;
    ASSERT_EQ(decoded.busObjectCount(), 3 + ending.packets.size());  // every packet was decoded
    const size_t endingRows = ending.kept ? 1 + ending.packets.size() : 0;
    EXPECT_EQ(decoded.rootCount(), ending.kept ? 2u : 1u);
    EXPECT_EQ(decoded.rowCount(), 4 + endingRows);
    EXPECT_EQ(rowutils::objToString(decoded.row(decoded.rowCount() - 1).obj),
              rowutils::objToString(decoded.busObject(ending.kept ? decoded.busObjectCount() - 1 : 2)));
  }
}
