// What the scripts state about ordinary traffic, checked against the USB
// rules: reset lengths, control-transfer stages, retries, reads shortened on
// purpose, units, and the mass-storage residue.
#include <gtest/gtest.h>

#include "synthrows.h"

using namespace synth;

TEST(ScriptsStateFacts, ResetsAndUnits) {
  Ttraffic traffic;
  for (uint32_t se0 : {12u, 60000u, 12000u * 10}) {
    traffic.bus.reset(se0);
    traffic.bus.idle(2000);
  }
  const auto texts = decodeAll(traffic.rows()).ofType(otReset);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_TRUE(has(texts[0], "1 \u00B5s (12 bit times): not a reset")) << texts[0];
  EXPECT_TRUE(has(texts[1], "Shorter than the 10 ms a host must drive a reset")) << texts[1];
  EXPECT_FALSE(has(texts[2], "Shorter")) << texts[2];
  EXPECT_TRUE(has(texts[2], "Line state after#166.666 \u00B5s (2000 bit times)")) << texts[2];
}

TEST(ScriptsStateFacts, ControlTransferStages) {
  Ttraffic traffic;
  // A device-to-host vendor request with wLength 0: no data stage, status IN.
  traffic.host.setup(3, 0, {0xC0, 0x01, 0, 0, 0, 0, 0, 0});
  traffic.host.in(3, 0, pidData1, {});
  // A device descriptor read whose second packet is resent with the same
  // toggle after a lost handshake.
  const Tbytes device{18, 1, 0x00, 0x02, 0, 0, 0, 8, 0x09, 0x12, 0x57, 0x7A, 0x00, 0x01, 1, 2, 3, 1};
  traffic.host.setup(3, 0, getDescriptor(1, 0, 0, 18));
  traffic.host.in(3, 0, pidData1, Tbytes(device.begin(), device.begin() + 8));
  traffic.host.in(3, 0, pidData0, Tbytes(device.begin() + 8, device.begin() + 16));
  traffic.host.in(3, 0, pidData0, Tbytes(device.begin() + 8, device.begin() + 16));
  traffic.host.in(3, 0, pidData1, Tbytes(device.begin() + 16, device.end()));
  traffic.host.out(3, 0, pidData1, {});
  const Tdecoded d = decodeAll(traffic.rows());

  const std::string vendor = d.find(otTransfer, "Vendor request 0x01");
  for (const char* fact : {"Data stage#none", "Status stage#IN", "completed"})
    EXPECT_TRUE(has(vendor, fact)) << fact << "\n" << vendor;
  EXPECT_NE(d.find(otTransax, "Status stage of Vendor request 0x01"), "");

  const std::string read = d.find(otTransfer, "DEVICE descriptor");
  for (const char* fact :
       {"IN, 18 of at most 18 bytes", "idVendor#0x1209", "Retries#1 repeated", "completed"})
    EXPECT_TRUE(has(read, fact)) << fact << "\n" << read;
  EXPECT_NE(d.find(otTransax, "Retry: this DATA0 repeats"), "");
  EXPECT_NE(d.find(otData, "bytes 16 to 17 of 18"), "");
}

TEST(ScriptsStateFacts, MassStorageResidue) {
  Tbytes cbw{'U', 'S', 'B', 'C', 7, 0, 0, 0, 36, 0, 0, 0, 0x80, 0, 6, 0x12, 0, 0, 0, 36, 0};  // INQUIRY
  cbw.resize(31, 0);
  for (uint8_t residue : {16, 0}) {
    Ttraffic traffic;
    traffic.host.out(4, 2, pidData0, cbw);
    traffic.host.in(4, 1, pidData0, Tbytes(20, 0x20));
    traffic.host.in(4, 1, pidData1, {'U', 'S', 'B', 'S', 7, 0, 0, 0, residue, 0, 0, 0, 0});
    const std::string csw = decodeAll(traffic.rows()).find(otTransax, "CSW tag 0x00000007");
    EXPECT_TRUE(has(csw, "Data phase#20 of 36 bytes transferred")) << csw;
    EXPECT_EQ(has(csw, "The residue is wrong"), residue == 0) << csw;
  }
}

// What the scripts remember of a row is dropped when other rows are loaded.
TEST(ScriptsStateFacts, NewRowsReadAfresh) {
  auto deviceRead = [](uint8_t vendorLow) {
    Ttraffic traffic;
    traffic.host.controlRead(3, 64, getDescriptor(1, 0, 0, 18),
                             {18, 1, 0, 2, 0, 0, 0, 64, vendorLow, 0x12, 0x57, 0x7A, 0, 1, 1, 2, 3, 1});
    return traffic.rows();
  };
  const auto first = deviceRead(0x09), second = deviceRead(0x34);
  long long transfer = 0;
  while (first->rowSummary(static_cast<size_t>(transfer)).objType != otTransfer) ++transfer;
  TluaState lua(first, std::filesystem::path(TWR_SOURCE_DIR) / "scripts");
  EXPECT_TRUE(has(lua.decodeRow(transfer), "idVendor#0x1209"));
  lua.setRows(second);
  EXPECT_TRUE(has(lua.decodeRow(transfer), "idVendor#0x1234"));
}
