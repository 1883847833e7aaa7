// Whole captures, synthesized on the wire and encoded as the device sends
// them, decoded to tree, rows and boxes and compared with reviewed reference
// files in tests/data/golden. After a change meant to alter the output, run
// the test with TWR_UPDATE_GOLDEN=1 and review the diff of those files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "boxes/ovboxes.h"
#include "capture.h"
#include "decode/ovexthrd.h"
#include "files/ovdataio.h"
#include "support/testfiles.h"

using namespace synth;

namespace {

// The text form holds the tree with every field; then one line per row: its
// filter flags, the object's error flags, the parent row and the boxes, which
// show ordinals and the data and outcome of control transfers.
std::string decodedText(const std::vector<uint8_t>& raw) {
  TexThread ex;
  EXPECT_TRUE(ex.startDecode(&raw));
  std::string text;
  TdataIO::appendBody(*ex.capture, text);
  Tboxes boxes;
  for (size_t ix = 0; ix < ex.capture->rowCount(); ++ix) {
    const TlinRow row = ex.capture->row(ix);
    text += std::to_string(row.flags) + " " + std::to_string(row.obj->flags) + " " +
            std::to_string(row.obj->parentRow) + " " + boxes.getBoxesString(row.obj);
  }
  return text;
}

void expectGolden(const std::string& name, const std::string& text) {
  const std::string path = std::string(TWR_TEST_DATA_DIR) + "/golden/" + name;
  if (std::getenv("TWR_UPDATE_GOLDEN")) {
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  const std::string want = readFile(path);
  ASSERT_FALSE(want.empty()) << path;
  if (text == want) return;
  const auto at = std::mismatch(text.begin(), text.end(), want.begin(), want.end()).first;
  const size_t pos = static_cast<size_t>(at - text.begin());
  const size_t from = pos == 0 ? 0 : text.rfind('\n', pos - 1) + 1;  // npos + 1 is 0
  ADD_FAILURE() << path << " line " << std::count(text.begin(), text.begin() + from, '\n') + 1
                << "\n got: " << text.substr(from, text.find('\n', from) - from)
                << "\nwant: " << want.substr(from, want.find('\n', from) - from);
}

}  // namespace

TEST(Golden, EnumerationOfTwoDevicesWithResetsStallsAndPolling) {
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

  // NAKed interrupt polling, then a report; a NAKed OUT.
  const Tbytes report{0x01, 0x05, 0xFB, 0x00};
  for (int k = 0; k < 3; ++k) host.pollIn(33, 1, nullptr);
  host.pollIn(33, 1, &report);
  host.out(33, 2, pidData0, report, Treply::nak);

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
  expectGolden("enumeration.txt", decodedText(testcap::rawOf(bus, 11)));
}

// Hand-made traffic: stray and damaged packets, transactions that end early,
// control transfers of every shape, and the fields' extreme values.
TEST(Golden, OddAndDamagedTraffic) {
  TbusWriter bus;
  bus.setSofs(false);
  auto send = [&](const Tbytes& bytes, const TpacketFaults& faults = {}) {
    bus.idle(40);
    bus.packet(bytes, faults);
  };
  auto tok = [&](unsigned pid, unsigned addr, unsigned endp) { send(tokenPacket(pid, addr, endp)); };
  auto dat = [&](unsigned pid, const Tbytes& payload) { send(dataPacket(pid, payload)); };
  auto hs = [&](unsigned pid) { send(handshakePacket(pid)); };
  const Tbytes getDevice = getDescriptor(dtDevice, 0, 0, 18);

  // SOF groups and lone SOFs; packets without a token; transactions cut short
  // by a wrong packet or a reset; handshakes an OUT does not take.
  for (unsigned frame : {1u, 2u, 2047u}) send(sofPacket(frame));
  tok(pidIn, 4, 1), hs(pidNak), send(sofPacket(4));
  dat(pidData0, {7}), hs(pidNyet);
  tok(pidOut, 4, 2), dat(pidData1, {1}), hs(pidNyet);
  tok(pidIn, 4, 1), dat(pidData0, {1, 2}), hs(pidAck);
  tok(pidIn, 4, 1), bus.reset(30000);
  tok(pidOut, 4, 2), hs(pidAck);
  tok(pidIn, 5, 1), hs(pidStall), tok(pidOut, 5, 2), dat(pidData0, {1}), hs(pidStall), hs(pidNak);
  tok(pidOut, 6, 3), dat(pidData0, {1}), hs(pidNak);

  // Control read: NAKed and unacknowledged data, status stage, then an IN
  // that no longer belongs to it.
  tok(pidSetup, 3, 0), dat(pidData0, getDevice), hs(pidAck);
  tok(pidIn, 3, 0), hs(pidNak);
  tok(pidIn, 3, 0), dat(pidData1, {0x12, 0x01, 0x00, 0x02}), hs(pidAck);
  tok(pidIn, 3, 0), dat(pidData0, {0x09, 0x00}), hs(pidAck);
  tok(pidIn, 3, 0), dat(pidData1, {0xEE});
  tok(pidOut, 3, 0), dat(pidData1, {}), hs(pidAck);
  tok(pidIn, 3, 0), dat(pidData1, {0x55}), hs(pidAck);
  // Control write, and a transfer without data stage on another device.
  tok(pidSetup, 9, 0), dat(pidData0, setupRequest(0x21, 0x09, 0, 0, 3)), hs(pidAck);
  tok(pidSetup, 10, 0), dat(pidData0, setAddress(12)), hs(pidAck);
  tok(pidOut, 9, 0), dat(pidData1, {0xA, 0xB, 0xC}), hs(pidAck);
  tok(pidIn, 10, 0), dat(pidData1, {}), hs(pidAck);
  tok(pidIn, 9, 0), dat(pidData1, {}), hs(pidAck);
  tok(pidOut, 10, 0), dat(pidData0, {}), hs(pidAck);
  // A SETUP without data, and one whose request is 7 bytes long.
  tok(pidSetup, 2, 0), hs(pidAck);
  tok(pidIn, 2, 0), dat(pidData1, {1}), hs(pidAck);
  tok(pidSetup, 2, 0), dat(pidData0, {0x80, 6, 0, 1, 0, 0, 0x12}), hs(pidAck);
  tok(pidIn, 2, 0), dat(pidData1, {1}), hs(pidAck);
  tok(pidOut, 2, 0), dat(pidData1, {}), hs(pidAck);

  // Damaged packets, one fault each; extreme field values.
  Tbytes badData = dataPacket(pidData0, {1, 2, 3, 4});
  breakCrc(badData);
  Tbytes badToken = tokenPacket(pidOut, 5, 2);
  breakCrc(badToken);
  Tbytes badPid = handshakePacket(pidAck);
  breakPidCheck(badPid);
  for (const Tbytes& bytes : {badData, badToken, badPid}) send(bytes);
  send(Tbytes{static_cast<uint8_t>(pidByte(pidIn) ^ 0x80), 0x00, 0x00});  // check nibble's top bit
  TpacketFaults se1, stuffing, shortSync;
  se1.se1AtBit = 12;
  se1.se1Ticks = 3;
  stuffing.stuffViolation = true;
  shortSync.shortSync = true;
  send(dataPacket(pidData1, {0xFF, 0xFF, 0x00}), se1);
  send(dataPacket(pidData1, {0xFF, 0xFF, 0x7E}), stuffing);
  send(sofPacket(1234), shortSync);
  send(Tbytes{pidByte(pidAck), 0x00});    // handshake too long
  send(Tbytes{pidByte(pidData0), 0x00});  // data packet without its CRC
  send(Tbytes{pidByte(pidIn)});           // token without its fields
  hs(pidNyet);                            // not full speed
  dat(pidMdata, {});
  tok(pidSetup, 127, 15);
  dat(pidData2, Tbytes(70, 0xFF));  // not full speed, fully stuffed
  // Nothing is lost at the end (the other capture ends inside a transaction).
  send(sofPacket(5)), send(sofPacket(6)), hs(pidNak);
  expectGolden("odd.txt", decodedText(testcap::rawOf(bus, 5)));
}
